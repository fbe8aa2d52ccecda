// The Set-Cookie lines of the cookies a page sets.

#include "host/pages/Cookies.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/DateTime.h"
#include "support/TimeZone.h"

namespace kelvane::host {
namespace {

using test::InTimeZone;

struct CookieCase {
  const char* what;
  std::function<void(ResponseCookie&)> set;
  int codePage;
  const char* header;
};

const CookieCase kCases[] = {
    {"a value", [](ResponseCookie& c) { c.SetValue("a b&c=d;e"); }, 65001, "user=a+b%26c%3Dd%3Be; path=/"},
    {"keys", [](ResponseCookie& c) { c.SetKey("name", "x y"); c.SetKey("other", "y"); }, 65001,
     "user=name=x+y&other=y; path=/"},
    {"a key set again, in another case", [](ResponseCookie& c) { c.SetKey("name", "x"); c.SetKey("NAME", "z"); },
     65001, "user=name=z; path=/"},
    {"a value after keys", [](ResponseCookie& c) { c.SetKey("name", "x"); c.SetValue("v"); }, 65001, "user=v; path=/"},
    {"keys after a value", [](ResponseCookie& c) { c.SetValue("v"); c.SetKey("k", "1"); }, 65001, "user=k=1; path=/"},
    {"line breaks in a value", [](ResponseCookie& c) { c.SetValue("x\r\nSet-Cookie: evil=1"); }, 65001,
     "user=x%0D%0ASet-Cookie%3A+evil%3D1; path=/"},
    {"every attribute",
     [](ResponseCookie& c) {
       c.SetValue("1");
       c.SetExpires(oleaut::Date{oleaut::DateSerial(2026, 12, 9).days + oleaut::TimeSerial(13, 5, 0)});
       c.SetDomain(".example.com");
       c.SetPath("/shop");
       c.SetSecure(true);
       c.SetHttpOnly(true);
     },
     65001, "user=1; expires=Wed, 09 Dec 2026 18:05:00 GMT; domain=.example.com; path=/shop; secure; HttpOnly"},
    {"no path", [](ResponseCookie& c) { c.SetValue("1"); c.SetPath(""); }, 65001, "user=1"},
    {"in 1252", [](ResponseCookie& c) { c.SetValue("caf\xC3\xA9"); }, 1252, "user=caf%E9; path=/"},
    {"in UTF-8", [](ResponseCookie& c) { c.SetValue("caf\xC3\xA9"); }, 65001, "user=caf%C3%A9; path=/"},
};

TEST(Cookies, SetCookieLinesCarryValuesKeysAndAttributes) {
  const InTimeZone eastern("EST5EDT,M3.2.0,M11.1.0");
  for (const CookieCase& c : kCases) {
    ResponseCookie cookie("user");
    c.set(cookie);
    EXPECT_EQ(cookie.Header(c.codePage), c.header) << c.what;
  }
  ResponseCookie named("a b;c");
  EXPECT_EQ(named.Header(65001), "a+b%3Bc=; path=/") << "a name cannot end the cookie either";
}

TEST(Cookies, AttributesThatWouldEndTheHeaderAreRefused) {
  for (const std::string& text : {std::string("/a;secure"), std::string("/a\r\nX: 1"), std::string("/a\n"),
                                  std::string("/a\0b", 4), std::string("x\x7F")}) {
    ResponseCookie cookie("c");
    cookie.SetPath("/kept");
    try {
      cookie.SetPath(text);
      ADD_FAILURE() << "path " << text;
    } catch (const oleaut::AutomationError& error) {
      EXPECT_EQ(error.Number(), 5);
    }
    EXPECT_THROW(cookie.SetDomain(text), oleaut::AutomationError);
    EXPECT_EQ(cookie.Header(65001), "c=; path=/kept");
  }
}

TEST(Cookies, HttpDatesAreInGreenwichTime) {
  const InTimeZone utc("UTC0");
  EXPECT_EQ(HttpDate(oleaut::DateSerial(2000, 2, 29)), "Tue, 29 Feb 2000 00:00:00 GMT");
  EXPECT_EQ(HttpDate(oleaut::Date{oleaut::DateSerial(1999, 12, 31).days + oleaut::TimeSerial(23, 59, 59)}),
            "Fri, 31 Dec 1999 23:59:59 GMT");
  const InTimeZone eastern("EST5EDT,M3.2.0,M11.1.0");
  EXPECT_EQ(HttpDate(oleaut::Date{oleaut::DateSerial(2026, 7, 1).days + oleaut::TimeSerial(22, 0, 0)}),
            "Thu, 02 Jul 2026 02:00:00 GMT")
      << "summer time";
}

}  // namespace
}  // namespace kelvane::host
