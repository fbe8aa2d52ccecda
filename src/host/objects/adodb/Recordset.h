#pragma once
// ADODB.Recordset: Open (source as text or a Command, active connection as
// a Connection or a connection string, cursor type, lock type, options), Close, EOF, BOF,
// MoveNext, MovePrevious, MoveFirst, MoveLast, Move, Fields (also the
// default member: rs("name"), rs(0)), RecordCount, PageSize, PageCount,
// AbsolutePage, AbsolutePosition, GetRows, GetString, State,
// CursorLocation, CursorType, LockType, MaxRecords, Source,
// ActiveConnection, Supports. A forward-only cursor streams its rows and
// moves forward only; any other cursor, or a client-side one, holds every
// row and counts them. At the end of its page it is closed, and the
// connection it opened from a connection string with it.

#include <memory>
#include <string>

#include "host/objects/adodb/Connection.h"
#include "host/objects/adodb/Cursor.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

std::shared_ptr<oleaut::IDispatch> CreateRecordset();

// A recordset open on `cursor` (closed when it is null) that `connection`
// made from `source`.
std::shared_ptr<oleaut::IDispatch> OpenedRecordset(std::shared_ptr<Cursor> cursor,
                                                    std::shared_ptr<ConnectionObject> connection, std::string source);

}  // namespace kelvane::host::adodb
