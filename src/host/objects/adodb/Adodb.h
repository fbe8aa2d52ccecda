#pragma once
// The ADODB library's objects, as Server.CreateObject makes them.

namespace kelvane::host::adodb {

// Registers the ADODB classes with the page objects; more than once is
// harmless.
void RegisterAdodb();

}  // namespace kelvane::host::adodb
