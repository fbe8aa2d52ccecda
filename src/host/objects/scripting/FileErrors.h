#pragma once
// The runtime errors a failed file call gives a page, from the system's
// error code.

namespace kelvane::host::scripting {

// What a missing name means where it is met: a file (53) or a folder (76).
enum class Missing { File, Folder };

// Raises the runtime error for the system error `error` (an errno value):
// 53 or 76 for a missing name, 58 for one that exists, 70 where access is
// refused (permissions, a folder where a file was meant, a link), 61 for a
// full disk, 67 for too many open files, 52 for a name too long, 7 for no
// memory, 75 for anything else.
[[noreturn]] void RaiseFileError(int error, Missing missing = Missing::File);

}  // namespace kelvane::host::scripting
