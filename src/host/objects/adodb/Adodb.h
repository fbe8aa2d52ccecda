#pragma once
// The ADODB library: ADODB.Connection, ADODB.Recordset and ADODB.Command
// for Server.CreateObject, over unixODBC and the databases' own drivers.

namespace kelvane::host::adodb {

// Registers the library's classes as page objects.
void RegisterAdodb();

}  // namespace kelvane::host::adodb
