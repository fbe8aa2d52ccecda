#pragma once
// Text of the web: query strings and forms, encoding for HTML and URLs.

#include <string>
#include <string_view>

#include "host/pages/PageRequest.h"

namespace kelvane::host {

// Decodes %XX escapes and '+' as a space; a malformed escape stays as it is.
std::string UrlDecode(std::string_view text);
// Escapes a space as '+' and everything but letters, digits and -_.~ as %XX.
std::string UrlEncode(std::string_view text);
// Escapes &, <, >, " and ', and puts U+FFFD in place of each sequence of
// bytes that is not UTF-8, one for each that a browser would show.
std::string HtmlEncode(std::string_view text);
// "a=1&b=x%20y" as decoded name and value pairs, in order.
Fields ParseFields(std::string_view text);
// The cookies of one Cookie header ("a=1; b=x%20y") as name and value
// pairs, in order, names decoded and values as sent (a value may hold keys,
// "k1=v1&k2=v2", each to be decoded); a pair without a name or '=' is
// skipped.
Fields ParseCookies(std::string_view header);
// Whether the request's body is a URL-encoded form.
bool IsFormBody(const PageRequest& request);
// "Content-Type" as a server variable: "HTTP_CONTENT_TYPE".
std::string HeaderVariableName(std::string_view header);

}  // namespace kelvane::host
