#pragma once
// Scripting.File and Scripting.Folder: a file or folder found on disk, and
// a folder's Files and SubFolders. Each holds the path it was reached by
// (links resolved, letter case as on disk) and reads the disk at every
// call, so that it tells what is there now. What it changes (its name, its
// attributes, a copy, a move, a delete) is reached again for writing.
//
// On Linux a file's times are its last write (DateLastModified), last read
// (DateLastAccessed) and birth (DateCreated, where the file system keeps
// it; else the last change of its status). Attributes: 1 read-only (no
// write permission for anyone), 16 a folder, 32 a file (archive); setting
// them changes only read-only.

#include <filesystem>
#include <memory>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::scripting {

// A File or Folder for `path` (reached for reading, existing).
std::shared_ptr<oleaut::IDispatch> MakeFile(std::filesystem::path path);
std::shared_ptr<oleaut::IDispatch> MakeFolder(std::filesystem::path path);

}  // namespace kelvane::host::scripting
