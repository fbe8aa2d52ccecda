#pragma once
// The objects every page finds, whatever its language: Request, Response,
// Server, Session and Application. They are automation objects, reached by
// member name as a component is, so that both languages share one set of
// rules for them.
//
// Request: QueryString, Form, Cookies and ServerVariables, each a
// collection (Count, Key(i), For Each over its names, its item by name or by
// position from 1), TotalBytes, BinaryRead(count), and Request(name), which
// looks in those collections in that order. An item of QueryString or Form
// is the field's values (its text: the values joined by ", ", Empty when the
// field was not sent; Count; Item(i) from 1; For Each); an item of Cookies
// is the cookie (its text; Item(key) of a cookie with keys; HasKeys; Count,
// Key(i) and For Each over its keys). Fields and cookies are read in the
// response's code page when the page first reads them.
// Response: Write, BinaryWrite, ContentType, Charset, CodePage, LCID,
// Buffer, Status, AddHeader, Redirect, Cookies, Expires, ExpiresAbsolute,
// CacheControl, PICS, Clear, Flush, End, IsClientConnected. Response.Cookies
// (name) is the cookie this response sets: its value, Item(key) = value,
// Expires, Domain, Path, Secure, HttpOnly, HasKeys.
// Server: CreateObject, MapPath, HTMLEncode, URLEncode, ScriptTimeout,
// GetLastError (what failed, for an error page), Execute and Transfer
// (another page of the site inside this request).
// Session: its values by name (Session(name), Session.name), SessionID,
// Timeout, CodePage, LCID, Abandon, Contents.Remove and RemoveAll through
// Remove and RemoveAll, Count. Found or made on the page's first use of it,
// and held by the page from then to its end; on a page without session state
// (context.sessionEnabled false), every use raises 424.
// Application: its values as Session's, Lock, Unlock.

#include "host/pages/PageContext.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

// A value of the request with parts: a field's values, a cookie. VBScript
// reaches the parts (Request.Form("a")(2), Request.Cookies("c")("k")) and
// takes its text as its default value; a language without default values
// takes the text in its place.
class RequestValue : public oleaut::IDispatch {
 public:
  // The text; Empty for a field that was not sent.
  virtual oleaut::Variant Text() const = 0;
};

struct Intrinsics {
  oleaut::ObjectRef request, response, server, session, application;
};

// The objects for the page run of `context`, which must outlive them. The
// thread's numbers are written in US English until the page sets a locale.
Intrinsics MakeIntrinsics(PageContext& context);

// Keeps what the page of `context` left in its session, if it used it;
// the failure when the store cannot take it.
std::optional<PageFailure> SaveSession(PageContext& context);

// Ends the page's hold on its session and on the application's lock, and
// its locale, once the page has ended, however it ended.
void EndIntrinsics(PageContext& context) noexcept;

}  // namespace kelvane::host
