#pragma once
// The ADODB library: ADODB.Connection, ADODB.Recordset, ADODB.Command and
// ADODB.Stream for Server.CreateObject, over unixODBC and the databases'
// own drivers.

namespace kelvane::host::adodb {

// Registers the library's classes as page objects; more than once is
// harmless.
void RegisterAdodb();

}  // namespace kelvane::host::adodb
