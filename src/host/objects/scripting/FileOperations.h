#pragma once
// What the FileSystemObject, File and Folder do to files, from the names a
// page gives: every name is reached (FileReach.h) before anything is
// done, reading where a file is only read, writing where it is made,
// changed or removed. The last name of a source may hold the wildcards
// '*' and '?' (matched without regard to case); then every match is
// reached before the first is touched, and none raises 53 (files) or 76
// (folders). Work that grows with the files stops at the page's deadline.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::host::scripting {

// Whether a file (or a folder) lies at `path` (reached already).
bool IsFile(const std::filesystem::path& path);
bool IsFolder(const std::filesystem::path& path);

// Whether a file's mode leaves it read-only: no write permission for anyone.
bool IsReadOnlyMode(unsigned mode);

// Copies the files `source` names to `destination`: a folder when it ends
// with a separator or the source has wildcards (76 when it is missing),
// else the copy's own name (70 when that is a folder). An existing copy
// is replaced whole once the new one is complete when `overwrite` (70
// when read-only), else 58. Gives where the files went.
std::vector<std::filesystem::path> CopyFiles(std::string_view source, std::string_view destination, bool overwrite);
// Copies folders, with all they hold, as CopyFiles copies files: a copy
// goes into a folder already there, its files replaced when `overwrite`.
// A folder is never copied into itself (70).
void CopyFolders(std::string_view source, std::string_view destination, bool overwrite);
// Moves (renames) files as CopyFiles copies them; never over an existing
// file (58).
std::vector<std::filesystem::path> MoveFiles(std::string_view source, std::string_view destination);
// Moves folders the same way.
std::vector<std::filesystem::path> MoveFolders(std::string_view source, std::string_view destination);
// Deletes files; a read-only one only when `force` (else 70).
void DeleteFiles(std::string_view spec, bool force);
// Deletes folders with everything in them (links themselves, never what
// they lead to); read-only files only when `force` (else 70).
void DeleteFolders(std::string_view spec, bool force);
// A name in a folder, with its kind as the folder's listing tells it:
// Other for a link, and wherever the listing does not tell.
struct FolderEntry {
  enum Kind : unsigned char { File, Folder, Other };
  std::string name;
  Kind kind;
};

// The entries of `folder` (reached already), in no order; stops at the
// page's deadline.
std::vector<FolderEntry> FolderEntries(const std::filesystem::path& folder);
// Makes the folder `path`: 58 when it exists, 76 when its parent is missing.
std::filesystem::path CreateFolder(std::string_view path);

}  // namespace kelvane::host::scripting
