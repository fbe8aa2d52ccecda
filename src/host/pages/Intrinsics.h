#pragma once
// The objects every page finds, whatever its language: Request, Response,
// Server, Session and Application. They are automation objects, reached by
// member name as a component is, so that both languages share one set of
// rules for them.
//
// Request: QueryString, Form, Cookies and ServerVariables, each a
// collection (Count, Key(i), For Each over its names, its item by name or by
// position from 1; a name sent twice gives its values joined by ", "; an
// absent name gives Empty), TotalBytes, and Request(name), which looks in
// those collections in that order.
// Response: Write, BinaryWrite, ContentType, Charset, Buffer, Status,
// AddHeader, Redirect, Cookies(name), Expires, CacheControl, Clear, Flush,
// End, IsClientConnected.
// Server: CreateObject, MapPath, HTMLEncode, URLEncode, ScriptTimeout,
// GetLastError (what failed, for an error page), Execute and Transfer
// (another page of the site inside this request).
// Session: its values by name (Session(name), Session.name), SessionID,
// Timeout, Abandon, Contents.Remove and RemoveAll through Remove and
// RemoveAll, Count. Found or made on the page's first use of it, and held
// by the page from then to its end; on a page without session state
// (context.sessionEnabled false), every use raises 424.
// Application: its values as Session's, Lock, Unlock.

#include "host/pages/PageContext.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

struct Intrinsics {
  oleaut::ObjectRef request, response, server, session, application;
};

// The objects for the page run of `context`, which must outlive them.
Intrinsics MakeIntrinsics(PageContext& context);

// Ends the page's hold on its session and on the application's lock, once
// the page has ended, however it ended.
void EndIntrinsics(PageContext& context) noexcept;

}  // namespace kelvane::host
