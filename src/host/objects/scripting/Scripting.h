#pragma once
// The scripting library's objects, as Server.CreateObject makes them.

namespace kelvane::host::scripting {

// Registers Scripting.Dictionary and Scripting.FileSystemObject with the
// page objects; more than once is harmless.
void RegisterScripting();

}  // namespace kelvane::host::scripting
