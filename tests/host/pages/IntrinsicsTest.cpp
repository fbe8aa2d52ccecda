// The intrinsic objects as pages of both languages reach them, run by the
// page engine on real files: what a request carries, what a reply gets,
// Server's calls, sessions and the application's values.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "host/pages/PageEngine.h"
#include "host/pages/PageObjects.h"
#include "host/pages/SiteState.h"
#include "support/PageGate.h"
#include "support/TimeZone.h"
#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;

std::string Header(const PageReply& reply, std::string_view name) {
  for (const auto& [key, value] : reply.headers)
    if (key == name) return value;
  return "";
}

class IntrinsicsTest : public testing::Test {
 protected:
  IntrinsicsTest() { fs::current_path(site.Path()); }
  ~IntrinsicsTest() override { fs::current_path(previous); }

  PageReply Run(const std::string& name, const std::string& page, PageRequest request = {}) {
    std::ofstream(site.Path() / name) << page;
    if (request.method.empty()) request.method = "GET";
    request.path = "/" + name;
    return engine.Run(site.Path() / name, request);
  }

  fs::path previous = fs::current_path();
  TempFolder site{"intrinsics"};
  PageEngine engine{site.Path(), {std::chrono::milliseconds(500), std::size_t{64} << 20}};
};

struct Case {
  const char* name;  // the page's file name, which picks its language
  const char* page;
  const char* query;
  const char* body;  // its reply's body, or a part of a failure's
  int status;
};

// The request's cookies, headers and form are the same for every case.
PageRequest Request(const char* query) {
  PageRequest request;
  request.method = "POST";
  request.queryString = query;
  request.headers = {{"Cookie", "x=hello%20world; y=2"},
                     {"Cookie", "user=name=J%C3%B6rg+B&id=7"},
                     {"User-Agent", "probe/1"},
                     {"Content-Type", "application/x-www-form-urlencoded"}};
  request.body = "f=1&g=two+words";
  return request;
}

const Case kCases[] = {
    {"q.asp", R"(<%= Request.QueryString("A") %>|<%= Request("a") %>|<%= Request.QueryString.Count %>|<%= Request.QueryString %>|<%= IsEmpty(Request.QueryString("none")) %>)",
     "a=1&b=2&a=3", "1, 3|1, 3|2|a=1&b=2&a=3|True", 200},
    {"each.asp", R"(<% For Each k In Request.QueryString : Response.Write k & "=" & Request.QueryString(k) & ";" : Next %><%= Request.QueryString(2) %><%= Request.QueryString.Key(1) %>)",
     "a=1&b=2", "a=1;b=2;2a", 200},
    {"form.asp", R"(<%= Request.Form("g") %>|<%= Request("f") %>|<%= Request.TotalBytes %>|<%= Request.Cookies("x") %>|<%= Request("y") %>)",
     "", "two words|1|15|hello world|2", 200},
    {"vars.asp", R"(<%= Request.ServerVariables("REQUEST_METHOD") %>|<%= Request.ServerVariables("HTTP_USER_AGENT") %>|<%= Request.ServerVariables("URL") %>)",
     "", "POST|probe/1|/vars.asp", 200},
    {"fields.asp", R"(<%= Request.QueryString("a").Count %>|<%= Request.QueryString("a")(2) %>|<% For Each v In Request("a") : Response.Write v & ";" : Next %>|<%= Request.QueryString("none").Count %>|<%= TypeName(Request.QueryString("a")) %>|<%= Request.Form("g")(1) %>)",
     "a=1&b=2&a=3", "2|3|1;3;|0|IStringList|two words", 200},
    {"fieldrange.asp", R"(<%= Request.QueryString("a")(3) %>)", "a=1&a=2", "number: 9", 500},
    {"cookies.asp", R"(<%= Request.Cookies("user") %>|<%= Request.Cookies("user")("name") %>|<%= Request.Cookies("USER")("ID") %>|<%= Request.Cookies("user").HasKeys %>|<%= Request.Cookies("x").HasKeys %>|<%= Request.Cookies("user").Count %>|<% For Each k In Request.Cookies("user") : Response.Write k & ";" : Next %>|<%= Request.Cookies("user").Key(2) %>)",
     "", "name=J\xC3\xB6rg B&id=7|J\xC3\xB6rg B|7|True|False|2|name;id;|id", 200},
    {"nocookie.asp", R"(<%= IsEmpty(Request.Cookies("none")) %>|<%= Request.Cookies("none")("k") = "" %>|<%= Request.Cookies("none").HasKeys %>|<%= Request.Cookies("x")("k") = "" %>|<%= Request("user") = Request.Cookies("user") %>)",
     "", "True|True|False|True|True", 200},
    {"binary.asp", R"(<% b = Request.BinaryRead(4) : c = Request.BinaryRead(100) : d = Request.BinaryRead(1) %><%= UBound(b) %>|<%= UBound(c) %>|<%= UBound(d) %>|<%= Request.TotalBytes %>|<%= b(0) %><% On Error Resume Next : x = Request.Form("f") %>|<%= Err.Number %>)",
     "", "3|10|-1|15|102|-2147467259", 200},
    {"formfirst.asp", R"(<% x = Request("f") : On Error Resume Next : b = Request.BinaryRead(1) %><%= Err.Number %>|<%= Err.Source %>)",
     "", "-2147467259|Request object", 200},
    {"servervars.asp", R"(<%= Request.ServerVariables("HTTPS") %>|<%= Request.ServerVariables("server_port_secure") %>|<%= Request.ServerVariables("CONTENT_TYPE") %>|<%= Request.ServerVariables("AUTH_USER") = "" %>|<%= IsEmpty(Request.ServerVariables("NO_SUCH_VARIABLE")) %>|<%= Request.ServerVariables("PATH_TRANSLATED") = Server.MapPath("servervars.asp") %>|<%= Request.ServerVariables("APPL_PHYSICAL_PATH") = Server.MapPath("/") & "/" %>)",
     "", "off|0|application/x-www-form-urlencoded|True|True|True|True", 200},
    {"fields.ksp", R"(<%= Request.QueryString("a") %>|<%= type(Request.QueryString("a")) %>|<%= tostring(Request.Cookies("none")) %>|<%= Request.Cookies("x") %>|<%= Request.Cookies("user") %>)",
     "a=1&a=3", "1, 3|string|nil|hello world|name=J\xC3\xB6rg B&id=7", 200},
    {"write.asp", R"(gone<% Response.Clear : Response.Write "kept" : Response.Write Null : Response.End %>never)", "", "kept", 200},
    {"status.asp", R"(<% Response.Status = "404 Not Found" %>missing)", "", "missing", 404},
    {"status1xx.asp", R"(<% Response.Status = 101 %>)", "", "200 to 599", 500},
    {"encode.asp", R"(<%= Server.HTMLEncode("<a href='x'>&") %>|<%= Server.URLEncode("a b/c+") %>)", "",
     "&lt;a href=&#39;x&#39;&gt;&amp;|a+b%2Fc%2B", 200},
    {"redirect_crlf.asp", R"(<% On Error Resume Next : Response.Redirect "/a" & vbCrLf & "X-Y: z" %><%= Err.Number %>)", "", "5", 200},
    {"redirect_lf.asp", R"(<% Response.Redirect "/a" & vbLf & "X-Y: z" %>went on)", "", "number: 5", 500},
    {"redirect_nul.asp", R"(<% Response.Redirect "/a" & Chr(0) & "b" %>went on)", "", "number: 5", 500},
    {"mappath.asp", R"(<%= Server.MapPath("/") = Server.MapPath(".") %>)", "", "True", 200},
    {"outside.asp", R"(<% x = Server.MapPath("../elsewhere") %>)", "", "leaves the site", 500},
    {"mapcase.asp", R"(<% p = Server.MapPath("/MAPCASE.Asp") %><%= Mid(p, InStrRev(p, "/") + 1) %>)", "", "mapcase.asp", 200},
    {"dictionary.asp", R"(<% Set d = Server.CreateObject("Scripting.Dictionary") : d.Add "k", 5 : d("j") = 6 %><%= d("k") + d.Item("j") %>|<%= d.Count %>)",
     "", "11|2", 200},
    {"noshell.asp", R"(<% On Error Resume Next : Set f = Server.CreateObject("WScript.Shell") %><%= Err.Number %>)", "", "429", 200},
    {"component.asp", R"(<% On Error Resume Next : Set img = Server.CreateObject("Kelvane.Image") : img.PlotCircle 10, 10, -1 %><%= Err.Number %>|<%= Err.Source %>)",
     "", "5|Kelvane", 200},
    {"uncaught.asp", "line one\n<% x = 1\ny = 1 / 0 %>", "", "at: uncaught.asp:3", 500},
    {"runtime_source.asp", "<% y = 1 / 0 %>", "", "source: Microsoft VBScript runtime error", 500},
    {"compile_source.asp", "<% If Then %>", "", "source: Microsoft VBScript compilation error", 500},
    {"syntax.asp", "<% If Then %>", "", "number: 1002", 500},
    {"loops.asp", R"(<% On Error Resume Next : Do : x = x + 1 : Loop %>)", "", "time limit", 500},
    {"memory.asp", R"(<% s = Space(100000000) %>)", "", "number: 7", 500},
    {"recursion.asp", "<% Function F(n) : F = F(n + 1) : End Function : x = F(1) %>", "", "number: 28", 500},
    {"terminate.asp", "<% Class C : Sub Class_Terminate() : Do : Loop : End Sub : End Class\nSet c = New C %>", "",
     "time limit", 500},
    {"arrays.asp", "<% ReDim a(100000000) %>", "", "number: 7", 500},
    {"q.ksp", R"(<%= Request.QueryString("A") %>|<%= Request("a") %>|<%= Request.QueryString.Count %>|<%= Request.QueryString() %>|<%= tostring(Request.QueryString("none")) %>)",
     "a=1&b=2&a=3", "1, 3|1, 3|2|a=1&b=2&a=3|nil", 200},
    {"form.ksp", R"(<%= Request.Form("g") %>|<%= Request.Cookies("x") %>|<%= Request.ServerVariables("HTTP_USER_AGENT") %>)",
     "", "two words|hello world|probe/1", 200},
    {"dictionary.ksp", R"(<% local d = Server.CreateObject("Scripting.Dictionary"); d:Add("k", 5) %><%= d("k") %>|<%= d.Count %>)",
     "", "5|1", 200},
    {"noshell.ksp", R"(<% Server.CreateObject("WScript.Shell") %>)", "", "number: 429", 500},
    {"sessionoff.asp", R"(<%@ EnableSessionState=False %><% On Error Resume Next : x = Session("a") %><%= Err.Number %>)",
     "", "424", 200},
    {"sessionoff2.asp", R"(<%@ Language="VBScript" EnableSessionState=false %><% Session.Abandon %>)", "",
     "Object required", 500},
    {"sessionon.asp", R"(<%@ EnableSessionState=True %><% Session("a") = 1 %><%= Session("a") %>)", "", "1", 200},
    {"sessionmaybe.asp", "<%@ EnableSessionState=Maybe %>", "", "True or False", 500},
    {"codepage932.asp", "<%@ CodePage=932 %>", "", "code page 932", 500},
    {"lcidtext.asp", "<%@ codepage=\"1252\" LCID=abc %>", "", "LCID is a number", 500},
    {"responsecp.asp", R"(<% On Error Resume Next : Response.CodePage = 932 %><%= Err.Number %>|<%= Response.CodePage %><% Response.LCID = 0 %>|<%= Err.Number %>|<%= Response.LCID %>)",
     "", "5|65001|5|1033", 200},
    {"sessioncp.asp", R"(<% On Error Resume Next : Session.CodePage = 50220 %><%= Err.Number %>|<%= Session.CodePage %>)", "", "5|65001", 200},
    {"lcid.asp", R"(<% Session.LCID = 2057 %><%= Session.LCID %>|<%= IsEmpty(Session("LCID")) %>|<%= Response.LCID %>)", "",
     "2057|True|2057", 200},
    {"german.asp", R"(<% Session.LCID = 1031 %><%= 1.5 %>|<%= FormatNumber(1234.5) %>|<%= CDbl("2,5") * 2 %>|<%= CStr(0.25) %>|<% Response.LCID = 1033 %><%= 1.5 %>)",
     "", "1,5|1.234,50|5|0,25|1.5", 200},
    {"swiss.asp", "<%@ LCID=2055 %><%= FormatNumber(1234.5) %><% Err.Raise 5 %>", "", "number: 5", 500},
    {"us.asp", "<%= 1.5 %>|<%= FormatNumber(1234.5) %>", "", "1.5|1,234.50", 200},
};

TEST_F(IntrinsicsTest, BothLanguagesReachTheSameObjects) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const PageReply reply = Run(c.name, c.page, Request(c.query));
    EXPECT_EQ(reply.status, c.status) << reply.body;
    if (c.status == 500) {
      EXPECT_NE(reply.body.find(c.body), std::string::npos) << reply.body;
    } else {
      EXPECT_EQ(reply.body, c.body);
    }
  }
}

TEST_F(IntrinsicsTest, TheReplyCarriesTypeCachingCookiesAndRedirects) {
  const PageReply typed = Run("typed.asp", R"(<% Response.ContentType = "text/plain" : Response.Charset = "utf-8"
Response.Expires = 5 : Response.Cookies("c") = "a b" : Response.AddHeader "X-Probe", "1" %>)");
  EXPECT_EQ(typed.contentType, "text/plain; charset=utf-8");
  EXPECT_EQ(Header(typed, "Cache-Control"), "max-age=300");
  EXPECT_EQ(Header(typed, "Set-Cookie"), "c=a+b; path=/");
  EXPECT_EQ(Header(typed, "X-Probe"), "1");
  EXPECT_EQ(Header(Run("nocache.asp", R"(<% Response.Expires = 0 %>)"), "Cache-Control"), "no-cache");
  EXPECT_EQ(Header(Run("split.asp", "<% Response.AddHeader \"X-A\", \"1\" & vbCrLf & \"X-B: 2\" %>"), "X-A"), "")
      << "a header cannot split the response";

  const PageReply moved = Run("moved.asp", R"(<% Response.Redirect "/there.asp?a=1" %>after)");
  EXPECT_EQ(moved.status, 302);
  EXPECT_EQ(Header(moved, "Location"), "/there.asp?a=1");
  EXPECT_EQ(moved.body.find("after"), std::string::npos);
}

// The session cookie's id, from a reply that made a session.
std::string SessionId(const PageReply& reply) {
  const std::string cookie = Header(reply, "Set-Cookie");
  const std::string prefix = std::string(SiteState::kSessionCookie) + "=";
  if (cookie.rfind(prefix, 0) != 0) return "";
  EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
  return cookie.substr(prefix.size(), cookie.find(';') - prefix.size());
}

std::vector<std::string> Headers(const PageReply& reply, std::string_view name) {
  std::vector<std::string> values;
  for (const auto& [key, value] : reply.headers)
    if (key == name) values.push_back(value);
  return values;
}

TEST_F(IntrinsicsTest, CookiesGoOutAsSetAndReadBackAsSet) {
  const test::InTimeZone utc("UTC0");
  const PageReply reply = Run("cookies.asp", R"(<% Response.Cookies("user")("name") = "x y" : Response.Cookies("user")("other") = "y"
Response.Cookies("user").Expires = #12/9/2026 1:05:00 PM# : Response.Cookies("user").Domain = "example.com"
Response.Cookies("user").Path = "/shop" : Response.Cookies("user").Secure = True : Response.Cookies("User").HttpOnly = True
Response.Cookies("plain") = "v" : Response.Cookies("gone").Expires = #1/1/2020#
Response.Cookies("a" & vbCrLf & "Set-Cookie: b") = "1; domain=evil"
On Error Resume Next
Response.Cookies("plain").Path = "/;domain=evil" : pathError = Err.Number : Err.Clear
Response.Cookies("plain").Domain = "x" & vbLf & "y" : domainError = Err.Number : Err.Clear
Response.Cookies("plain").Expires = "no date" : dateError = Err.Number
%><%= Response.Cookies("user") %>|<%= Response.Cookies("user")("name") %>|<%= Response.Cookies("user").HasKeys %>|)"
                              R"(<%= Response.Cookies("plain") %>|<%= IsEmpty(Response.Cookies("none")) %>|<%= Response.Cookies("user").Path %>|)"
                              R"(<%= Response.Cookies("user").Expires %>|<%= pathError %>|<%= domainError %>|<%= dateError %>|)"
                              R"(<%= Response.Cookies.Count %>|<% For Each c In Response.Cookies : Response.Write c & ";" : Next %>)");
  EXPECT_EQ(reply.body, "name=x y&other=y|x y|True|v|True|/shop|12/9/2026 1:05:00 PM|5|5|13|4|user;plain;gone;a\r\nSet-Cookie: b;");
  EXPECT_EQ(Headers(reply, "Set-Cookie"),
            (std::vector<std::string>{
                "user=name=x+y&other=y; expires=Wed, 09 Dec 2026 13:05:00 GMT; domain=example.com; path=/shop; secure; HttpOnly",
                "plain=v; path=/", "gone=; expires=Wed, 01 Jan 2020 00:00:00 GMT; path=/",
                "a%0D%0ASet-Cookie%3A+b=1%3B+domain%3Devil; path=/"}));

  const PageReply ended = Run("ended.ksp", R"(<% Response.End() ; Response.Cookies("late").Item = "1" %>)");
  EXPECT_TRUE(Headers(ended, "Set-Cookie").empty()) << "nothing changes once the response has ended";
  EXPECT_EQ(Headers(Run("lua.ksp", R"(<% Response.Cookies("c").Item = "a b" ; Response.Cookies("c").Secure = true %>)"),
                    "Set-Cookie"),
            std::vector<std::string>{"c=a+b; path=/; secure"});
}

TEST_F(IntrinsicsTest, TheReplyCarriesItsAbsoluteExpiryAndItsLabel) {
  const test::InTimeZone utc("UTC0");
  const PageReply reply = Run("label.asp", R"P(<% Response.ExpiresAbsolute = #1/2/2026 3:04:05 AM#
Response.PICS "(PICS-1.1 ""http://www.rsac.org/ratingsv01.html"" l r (n 0 s 0 v 0 l 0))"
On Error Resume Next : Response.PICS = "(PICS-1.1)" & vbCrLf & "X-Evil: 1" %><%= Response.ExpiresAbsolute %>|<%= Err.Number %>)P");
  EXPECT_EQ(reply.body, "1/2/2026 3:04:05 AM|5");
  EXPECT_EQ(Header(reply, "Expires"), "Fri, 02 Jan 2026 03:04:05 GMT");
  EXPECT_EQ(Header(reply, "PICS-Label"), R"P((PICS-1.1 "http://www.rsac.org/ratingsv01.html" l r (n 0 s 0 v 0 l 0)))P");
  EXPECT_EQ(Header(Run("past.asp", "<% Response.ExpiresAbsolute = \"1/1/2000\" %>"), "Expires"),
            "Sat, 01 Jan 2000 00:00:00 GMT");
  EXPECT_EQ(Header(Run("none.asp", "<%= 1 %>"), "Expires"), "") << "none unless asked";
}

TEST_F(IntrinsicsTest, ACodePageDecidesHowThePageIsReadAndSent) {
  // The page file itself is in Windows-1252: "caf\xE9" is "café".
  const PageReply western = Run("western.asp", "<%@ LANGUAGE = \"VBScript\"  codepage = 1252 lcid=1036 %>caf\xE9 "
                                               "<%= Response.CodePage %> <%= Response.LCID %> <%= AscW(\"\x80\") %> "
                                               "<% Response.Write \"\x80\" %>");
  EXPECT_EQ(western.body, "caf\xE9 1252 1036 8364 \x80");
  EXPECT_EQ(western.contentType, "text/html; charset=windows-1252");

  const PageReply mixed = Run("mixed.asp", "<% Response.CodePage = 1252 %>\xC3\xA9\xE6\x97\xA5"
                                           "<% Response.CodePage = 65001 %>\xC3\xA9");
  EXPECT_EQ(mixed.body, "\xE9?\xC3\xA9") << "each write in the code page it has then";
  EXPECT_EQ(mixed.contentType, "text/html; charset=utf-8");
  EXPECT_EQ(Run("plain.asp", "\xC3\xA9").contentType, "text/html") << "no charset unless a page chooses one";
  EXPECT_EQ(Run("binary.asp", "<% Response.CodePage = 1252 : Response.BinaryWrite \"\xC3\xA9\" %>").body,
            "\xC3\xA9") << "bytes go as they are";

  PageRequest form;
  form.method = "POST";
  form.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
  form.body = "name=J%F6rg&%E9=1";
  EXPECT_EQ(Run("form.asp", R"(<% Response.CodePage = 1252 : v = Request.Form("name") : k = Request.Form.Key(2)
Response.CodePage = 65001 %><%= v %>|<%= k %>)", form).body, "J\xC3\xB6rg|\xC3\xA9");
  EXPECT_EQ(Run("form.ksp", R"(<% Response.CodePage = 1252 %><%= Request.Form("name") %>)", form).body, "J\xF6rg");

  PageRequest visitor;
  visitor.headers = {{"Cookie", std::string(SiteState::kSessionCookie) + "=" +
                                    SessionId(Run("start.asp", "<% Session.CodePage = 1252 %>\xC3\xA9"))}};
  EXPECT_EQ(Run("later.asp", "<% x = Session(\"a\") %>\xC3\xA9|<%= Session.CodePage %>", visitor).body, "\xE9|1252")
      << "a later page of the session takes its code page";
  EXPECT_EQ(Run("own.asp", "<% Response.CodePage = 65001 : x = Session(\"a\") %>\xC3\xA9", visitor).body,
            "\xC3\xA9") << "unless its Response has one";
}

TEST_F(IntrinsicsTest, AnErrorPageReadsWhatFailedThroughServerGetLastError) {
  const std::string asp = R"(<% Set e = Server.GetLastError() %><%= Hex(e.Number) %>|<%= e.Category %>|<%= e.File %>|)"
                          R"(<%= e.Line %>|<%= e.Column %>|<%= e.Source %>|<%= e.Description %>|<%= e.ASPCode %>|)"
                          R"(<%= e.ASPDescription %>|<%= Response.Status %>)";
  const std::string ksp = R"(<% local e = Server.GetLastError() %><%= e.Number %>|<%= e.Category %>|<%= e.File %>|)"
                          R"(<%= e.Line %>|<%= e.Description %>|<%= e.Source %>)";
  const PageReply direct = Run("500.asp", asp);
  EXPECT_EQ(direct.body, "0|||0|-1|||||200") << "no failure outside an error page";

  const PageReply asp_failed =
      Run("fail.asp", "<% Set img = Server.CreateObject(\"Kelvane.Image\")\r\n  img.PlotCircle 10, 10, -1 %>");
  const PageReply ksp_failed = Run("fail.ksp", "<%\nlocal x = 1\nerror('boom') %>");
  ASSERT_TRUE(asp_failed.failure && ksp_failed.failure);
  std::ofstream(site.Path() / "500.ksp") << ksp;
  const std::tuple<const PageReply&, const char*, std::string> cases[] = {
      {asp_failed, "500.asp",
       "800A0005|Kelvane|/fail.asp|2|-1|  img.PlotCircle 10, 10, -1 %>|Invalid procedure call or argument|||500"},
      {ksp_failed, "500.ksp", "0|Lua|/fail.ksp|3|fail.ksp:3: boom|error('boom') %>"},
      {asp_failed, "500.ksp", "-2146828283|Kelvane|/fail.asp|2|Invalid procedure call or argument|  img.PlotCircle 10, 10, -1 %>"},
  };
  for (const auto& [failed, page, told] : cases) {
    const PageReply shown = engine.RunErrorPage(site.Path() / page, Request(""), *failed.failure);
    EXPECT_EQ(shown.status, 500) << page;
    EXPECT_EQ(shown.body, told) << page;
    EXPECT_FALSE(shown.failure) << page;
  }

  std::ofstream(site.Path() / "broken.asp") << "<% Set e = Server.GetLastError() : x = 1 / 0 %>";
  for (const char* page : {"broken.asp", "missing.asp"}) {
    const PageReply shown = engine.RunErrorPage(site.Path() / page, Request(""), *asp_failed.failure);
    EXPECT_EQ(shown.status, 500) << page;
    EXPECT_TRUE(shown.failure) << page << ": an error page that fails tells its own failure";
  }
}

TEST_F(IntrinsicsTest, EachVisitorHasASessionOfItsOwnFoundByItsCookieOnly) {
  const std::string page = R"(<% Session("n") = Session("n") + 1 %><%= Session("n") %>)";
  const PageReply first = Run("count.asp", page);
  const PageReply second = Run("count.asp", page);
  const std::string a = SessionId(first), b = SessionId(second);
  ASSERT_EQ(a.size(), 32u);
  EXPECT_NE(a, b) << "two clients, two sessions";
  EXPECT_EQ(first.body, "1");
  EXPECT_EQ(second.body, "1");

  const auto visit = [&](const std::string& id, const std::string& name, const std::string& text) {
    PageRequest request;
    request.headers = {{"Cookie", std::string(SiteState::kSessionCookie) + "=" + id}};
    return Run(name, text, request);
  };
  const PageReply again = visit(a, "count.asp", page);
  EXPECT_EQ(again.body, "2");
  EXPECT_EQ(SessionId(again), "") << "a known session sends no new cookie";
  EXPECT_EQ(visit(a, "count.ksp", "<%= Session.n %>|<%= Session.SessionID == '" + a + "' %>").body, "2|true")
      << "a .ksp page of the same visitor sees the same session";

  for (const std::string& forged : {std::string(32, '0'), a + "x", std::string("../../etc")}) {
    const PageReply reply = visit(forged, "count.asp", page);
    EXPECT_EQ(reply.body, "1") << forged;
    EXPECT_NE(SessionId(reply), forged);
    EXPECT_EQ(SessionId(reply).size(), 32u);
  }

  EXPECT_EQ(visit(a, "end.asp", "<% Session.Abandon %><%= Session(\"n\") %>").body, "2")
      << "an abandoned session serves the rest of its page";
  const PageReply after = visit(a, "count.asp", page);
  EXPECT_EQ(after.body, "1");
  EXPECT_NE(SessionId(after), a);
}

TEST_F(IntrinsicsTest, SessionsExpireAndHoldNoObjects) {
  SiteState state;
  const auto session = state.NewSession("127.0.0.1", &state, SiteState::Clock::now());
  state.LeaveSession(*session, &state);
  EXPECT_EQ(state.FindSession(session->Id()), session);
  EXPECT_EQ(state.FindSession(session->Id(), SiteState::Clock::now() + std::chrono::minutes(21)), nullptr);
  EXPECT_EQ(state.FindSession(session->Id()), nullptr) << "an expired session is gone";

  EXPECT_EQ(Run("object.asp", R"(<% Set Session("img") = Server.CreateObject("Kelvane.Image") %>)").status, 500);
  EXPECT_EQ(Run("timeout.asp", R"(<% Session.Timeout = 0 %>)").status, 500);
}

TEST_F(IntrinsicsTest, SessionValuesShareOneMemoryBudget) {
  const PageEngine tight{site.Path(), engine.Limits(), {std::size_t{2} << 20}};
  std::ofstream(site.Path() / "big.asp") << R"(<% On Error Resume Next : Session("a") = "small"
Session("a") = Space(3000000) : n = Err.Number %><%= n %>|<%= Session("a") %>)";
  EXPECT_EQ(tight.Run(site.Path() / "big.asp", {}).body, "7|small") << "the value before stays";
}

TEST_F(IntrinsicsTest, APageHoldsItsSessionToItsEndAndOnlyPagesUsingItWait) {
  test::PageGate& gate = test::PageGate::Instance();
  gate.Close();
  RegisterPageObject("Test.Gate", [] { return std::make_shared<test::GateObject>(); });
  PageRequest visitor;
  visitor.headers = {{"Cookie", std::string(SiteState::kSessionCookie) + "=" +
                                    SessionId(Run("start.asp", R"(<% Session("n") = 1 %>)"))}};
  std::thread holder([&] {
    Run("hold.asp", R"(<% Session("n") = 2 : Server.CreateObject("Test.Gate").Wait %>)", visitor);
  });
  gate.AwaitInside(1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run("none.asp", "<%= 1 + 1 %>", visitor).body, "2") << "a page that never touches Session";
  EXPECT_EQ(Run("off.asp", "<%@ EnableSessionState=False %>off", visitor).body, "off");
  EXPECT_EQ(Run("other.asp", R"(<% Session("n") = 5 %><%= Session("n") %>)").body, "5") << "another visitor";
  const PageReply waiter = Run("wait.ksp", "<%= Session.n %>", visitor);
  EXPECT_EQ(waiter.status, 500);
  EXPECT_NE(waiter.body.find("waiting for its session"), std::string::npos) << waiter.body;
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(500)) << "its own deadline";
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
  gate.Open();
  holder.join();
  EXPECT_EQ(Run("read.asp", R"(<%= Session("n") %>)", visitor).body, "2") << "the session is free again";
}

TEST_F(IntrinsicsTest, ApplicationValuesAreSharedAndALockEndsWithItsPage) {
  const std::string page = R"(<% Application.Lock : Application("hits") = Application("hits") + 1 %><%= Application("hits") %>)";
  EXPECT_EQ(Run("hits.asp", page).body, "1") << "a lock left held is released when the page ends";
  EXPECT_EQ(Run("hits.asp", page).body, "2");
  EXPECT_EQ(Run("hits.ksp", "<%= Application.hits %>").body, "2");
  Run("date.asp", R"(<% Application("day") = DateSerial(2026, 12, 9) %>)");
  EXPECT_EQ(Run("date.ksp", "<%= Application.day %>").body, "12/9/2026") << "a date reaches Lua as its text";

  std::vector<std::thread> writers;
  for (int i = 0; i < 2; ++i)
    writers.emplace_back([this, i] {
      const std::string name = "w" + std::to_string(i) + ".asp";
      for (int n = 0; n < 20; ++n)
        Run(name, R"(<% Application.Lock : Application("hits") = Application("hits") + 1 : Application.Unlock %>)");
    });
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(Run("read.asp", R"(<%= Application("hits") %>)").body, "42") << "no increment lost";
}

TEST_F(IntrinsicsTest, ServerExecuteAndTransferRunAnotherPageOfTheSiteInTheRequest) {
  fs::create_directory(site.Path() / "sub");
  const std::pair<const char*, const char*> files[] = {
      {"sub/child.asp", "child(<%= x %>)<% Session(\"c\") = \"set\" %>"},
      {"sub/near.asp", "<% Server.Execute \"child.asp\" %>"},
      {"sub/where.asp", "<%= Server.MapPath(\".\") = Server.MapPath(\"/sub\") %>"},
      {"sub/bad.asp", "<%\nx = 1 / 0 %>"},
      {"sub/end.asp", "e<% Response.End %>x"},
      {"sub/k.ksp", "k<%= 1 + 1 %>"},
      {"sub/data.txt", "data"},
  };
  for (const auto& [name, text] : files) std::ofstream(site.Path() / name) << text;
  const Case cases[] = {
      {"exec.asp", R"(<% x = 1 %>a<% Server.Execute "sub/child.asp" %>b<%= x %>|<%= Session("c") %>)", "", "achild()b1|set", 200},
      {"transfer.asp", R"(a<% Server.Transfer "/SUB/Child.asp" %>never)", "", "achild()", 200},
      {"near.asp", R"(<% Server.Execute "sub/near.asp" %>)", "", "child()", 200},
      {"where.asp", R"(<% Server.Execute "sub/where.asp" %>)", "", "True", 200},
      {"ksp.asp", R"(<% Server.Execute "sub/k.ksp" %>)", "", "k2", 200},
      {"asp.ksp", R"(<% Server.Execute("sub/child.asp") %>)", "", "child()", 200},
      {"end.asp", R"(<% Server.Execute "sub/end.asp" %>after)", "", "e", 200},
      {"bad.asp", R"(<% On Error Resume Next : Server.Execute "sub/bad.asp" %>went on)", "", "at: sub/bad.asp:2", 500},
      {"missing.asp", R"(<% Server.Execute "nope.asp" %>)", "", "no page 'nope.asp'", 500},
      {"text.asp", R"(<% Server.Execute "sub/data.txt" %>)", "", "no page", 500},
      {"leaves.asp", R"(<% Server.Transfer "../x.asp" %>)", "", "leaves the site", 500},
      {"self.asp", R"(<% Server.Execute "self.asp" %>)", "", "nest more than 16", 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PageReply reply = Run(c.name, c.page);
    EXPECT_EQ(reply.status, c.status) << reply.body;
    if (c.status == 500) {
      EXPECT_NE(reply.body.find(c.body), std::string::npos) << reply.body;
      EXPECT_EQ(reply.body.find("went on"), std::string::npos);
    } else {
      EXPECT_EQ(reply.body, c.body);
    }
  }
}

TEST_F(IntrinsicsTest, TheApplicationEndsWithItsEngineOnceAPageHasRun) {
  static int ended = 0;
  RegisterPageObject("Test.Ended", [] {
    ++ended;
    return CreatePageObject("Scripting.Dictionary");
  });
  const TempFolder other("application-end");
  std::ofstream(other.Path() / "global.asa")
      << "<script language=vbscript runat=server>\nSub Application_OnEnd\n"
         "  Set probe = Server.CreateObject(\"Test.Ended\")\nEnd Sub\n</script>";
  std::ofstream(other.Path() / "page.asp") << "page";
  { const PageEngine unused(other.Path(), {}); }
  EXPECT_EQ(ended, 0) << "no page, no application";
  {
    const PageEngine used(other.Path(), {});
    PageRequest request;
    request.method = "GET";
    EXPECT_EQ(used.Run(other.Path() / "page.asp", request).body, "page");
    EXPECT_EQ(ended, 0);
  }
  EXPECT_EQ(ended, 1);
}

TEST_F(IntrinsicsTest, IncludesStayInTheSiteAndAChangeRecompilesThePage) {
  std::ofstream(site.Path() / "inc.asp") << "<% Const Greeting = \"hello\" %>";
  const std::string page = "<!--#include file=\"inc.asp\"--><%= Greeting %>";
  EXPECT_EQ(Run("main.asp", page).body, "hello");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::ofstream(site.Path() / "inc.asp") << "<% Const Greeting = \"changed\" %>";
  PageRequest request;
  request.path = "/main.asp";
  EXPECT_EQ(engine.Run(site.Path() / "main.asp", request).body, "changed");

  EXPECT_EQ(Run("case.asp", "<!--#include virtual=\"/INC.Asp\"--><%= Greeting %>").body, "changed");
  EXPECT_EQ(Run("escape.asp", "<!--#include virtual=\"/../../etc/passwd\"-->").status, 500);
  EXPECT_EQ(Run("cycle.asp", "<!--#include file=\"cycle.asp\"-->").status, 500);
}

}  // namespace
}  // namespace kelvane::host
