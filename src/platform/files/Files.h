#pragma once
// The kernel32 file calls, on POSIX. File names are UTF-8 and taken
// literally: never as wildcards. A file's attributes are its permission
// bits (mode & 07777); a read-only file is one without write bits. A
// creation time cannot be set here: last-access and last-write times are
// kept, and the creation time reported is the last status change.

#include <cstdint>

namespace kelvane::files {

using DWORD = std::uint32_t;
using BOOL = int;
using HANDLE = std::intptr_t;
using HFILE = int;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr HANDLE INVALID_HANDLE_VALUE = -1;
constexpr HFILE HFILE_ERROR = -1;

// Modes of _lopen: the access in the low bits, the sharing above.
constexpr int OF_READ = 0x00;
constexpr int OF_WRITE = 0x01;
constexpr int OF_READWRITE = 0x02;
constexpr int OF_SHARE_DENY_WRITE = 0x20;

// 100-nanosecond intervals since 1 January 1601 (UTC).
struct FILETIME {
  std::uint32_t dwLowDateTime = 0;
  std::uint32_t dwHighDateTime = 0;
};

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes = 0;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
  char cFileName[260] = {};  // the name without its folder, cut to fit
};

// Looks up one file by its literal name, following a symbolic link to what
// it names; INVALID_HANDLE_VALUE when there is none. Close the search with
// FindClose.
HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData);
BOOL FindClose(HANDLE search);

// Deletes a file; FALSE for a read-only file, a missing one, or one whose
// folder refuses it.
BOOL DeleteFileA(const char* fileName);
// Sets the permission bits; FALSE on failure.
BOOL SetFileAttributesA(const char* fileName, DWORD attributes);

// Opens an existing file (OF_READ, OF_WRITE or OF_READWRITE, sharing bits
// ignored); HFILE_ERROR on failure. Never follows a final symbolic link.
HFILE _lopen(const char* fileName, int mode);
HFILE _lclose(HFILE file);
// Sets the times of an open file; a null time leaves that time alone. The
// creation time cannot be set and is ignored.
BOOL SetFileTime(HFILE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);

}  // namespace kelvane::files
