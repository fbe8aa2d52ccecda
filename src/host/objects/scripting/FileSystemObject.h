#pragma once
// Scripting.FileSystemObject: the page's way to files by their paths. Name
// functions (GetFileName, BuildPath, ...) read the text alone; everything
// else reaches the path first (FileReach.h): reading inside the site and
// the data folders, writing inside the data folders only, 70 elsewhere.
// FileExists and FolderExists answer False for what the page may not
// reach. No drives: DriveExists, GetDrive and Drives are not members.

#include <memory>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::scripting {

std::shared_ptr<oleaut::IDispatch> CreateFileSystemObject();

}  // namespace kelvane::host::scripting
