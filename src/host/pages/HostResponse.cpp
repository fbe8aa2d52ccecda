#include "host/pages/HostResponse.h"

#include <algorithm>
#include <cctype>

#include "host/pages/WebText.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

oleaut::NumberFormat NumberFormatOf(int lcid) {
  switch (lcid) {
    case 1030:  // Danish
    case 1031:  // German
    case 3079:  // German, Austria
    case 1040:  // Italian
    case 1043:  // Dutch
    case 1046:  // Portuguese, Brazil
    case 3082:  // Spanish
      return {',', '.'};
    case 2055:  // German, Switzerland
      return {'.', '\''};
    default: return {};
  }
}

bool HostResponse::Clean(std::string_view text) const {
  return !ended_ && text.find_first_of("\r\n") == std::string_view::npos;
}

void HostResponse::put_ContentType(std::string type) {
  if (Clean(type)) reply_.contentType = std::move(type);
}

void HostResponse::BinaryWrite(const oleaut::Variant& data) {
  if (const auto* text = data.If<std::string>()) {
    Append(*text);
    return;
  }
  const auto bytes = asp::ByteArrayBytes(data);
  Append({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

void HostResponse::Write(std::string_view text) {
  if (ended_) return;
  if (codePage_ == kUtf8CodePage) reply_.body.append(text);
  else reply_.body += EncodeText(text, codePage_);
}

void HostResponse::Append(std::string_view bytes) {
  if (!ended_) reply_.body.append(bytes);
}

void HostResponse::Clear() {
  if (!ended_) reply_.body.clear();
}

void HostResponse::SetStatus(int status) {
  if (status < 200 || status > 599)
    throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                  "Response.Status must be from 200 to 599");
  if (!ended_) reply_.status = status;
}

void HostResponse::AddHeader(std::string name, std::string value) {
  if (Clean(name) && Clean(value) && !name.empty()) reply_.headers.emplace_back(std::move(name), std::move(value));
}

void HostResponse::SetCharset(std::string charset) {
  if (Clean(charset)) charset_ = std::move(charset);
}

void HostResponse::SetCacheControl(std::string value) {
  if (Clean(value)) cacheControl_ = std::move(value);
}

void HostResponse::SetExpires(int minutes) {
  if (ended_) return;
  expires_ = minutes;
  expiresSet_ = true;
}

void HostResponse::SetExpiresAbsolute(oleaut::Date date) {
  if (!ended_) expiresAbsolute_ = date;
}

void HostResponse::SetPics(std::string label) {
  if (label.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                  "Response.PICS: the label holds a line break or NUL");
  if (!ended_) pics_ = std::move(label);
}

void HostResponse::SetCookie(ResponseCookie cookie) {
  if (cookie.Name().empty())
    throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane", "Response.Cookies: a cookie needs a name");
  if (ended_) return;
  for (auto& kept : cookies_) {
    if (oleaut::SameName(kept.Name(), cookie.Name())) {
      kept = std::move(cookie);
      return;
    }
  }
  cookies_.push_back(std::move(cookie));
}

const ResponseCookie* HostResponse::FindCookie(std::string_view name) const {
  for (const auto& cookie : cookies_)
    if (oleaut::SameName(cookie.Name(), name)) return &cookie;
  return nullptr;
}

void HostResponse::SetCodePage(int codePage, bool fixed) {
  if (!IsKnownCodePage(codePage))
    throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                  "code page " + std::to_string(codePage) + " is not one of 65001, 1252, 28591 and 20127");
  if (ended_ || (codePageFixed_ && !fixed)) return;
  codePage_ = codePage;
  codePageChosen_ = true;
  codePageFixed_ = codePageFixed_ || fixed;
}

void HostResponse::SetLcid(int lcid, bool fixed) {
  if (lcid < 1 || lcid > 0xFFFFF)
    throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane", "LCID " + std::to_string(lcid) + " is no locale");
  if (ended_ || (lcidFixed_ && !fixed)) return;
  lcid_ = lcid;
  lcidFixed_ = lcidFixed_ || fixed;
  oleaut::SetCurrentNumberFormat(NumberFormatOf(lcid));
}

void HostResponse::Redirect(std::string url) {
  // A line break would let the URL, often built from what the visitor
  // sent, add headers of its own; the page stops unless it handles that.
  if (url.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                  "Response.Redirect: the URL holds a line break or NUL");
  if (ended_) return;
  reply_.status = 302;
  reply_.headers.emplace_back("Location", url);
  reply_.contentType = "text/html";
  reply_.body = "<html><body>Object moved to <a href=\"" + HtmlEncode(url) + "\">here</a>.</body></html>";
  ended_ = true;
}

PageReply& HostResponse::Finish() {
  if (reply_.contentType.find(';') == std::string::npos) {
    if (!charset_.empty())
      reply_.contentType += "; charset=" + charset_;
    else if (codePageChosen_ && reply_.contentType.starts_with("text/"))
      reply_.contentType.append("; charset=").append(CharsetOf(codePage_));
  }
  if (expiresSet_) {
    const int seconds = std::max(expires_, 0) * 60;
    reply_.headers.emplace_back("Cache-Control", seconds > 0 ? "max-age=" + std::to_string(seconds) : "no-cache");
  } else if (!cacheControl_.empty()) {
    reply_.headers.emplace_back("Cache-Control", cacheControl_);
  }
  if (expiresAbsolute_) reply_.headers.emplace_back("Expires", HttpDate(*expiresAbsolute_));
  if (!pics_.empty()) reply_.headers.emplace_back("PICS-Label", pics_);
  for (const auto& cookie : cookies_) reply_.headers.emplace_back("Set-Cookie", cookie.Header(codePage_));
  return reply_;
}

}  // namespace kelvane::host
