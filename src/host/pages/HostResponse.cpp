#include "host/pages/HostResponse.h"

#include <algorithm>
#include <cctype>

#include "host/pages/WebText.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host {

bool HostResponse::Clean(std::string_view text) const {
  return !ended_ && text.find_first_of("\r\n") == std::string_view::npos;
}

void HostResponse::put_ContentType(std::string type) {
  if (Clean(type)) reply_.contentType = std::move(type);
}

void HostResponse::BinaryWrite(const oleaut::Variant& data) {
  if (const auto* text = data.If<std::string>()) {
    Write(*text);
    return;
  }
  const auto bytes = asp::ByteArrayBytes(data);
  Write({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

void HostResponse::Write(std::string_view text) {
  if (!ended_) reply_.body.append(text);
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

void HostResponse::SetCookie(std::string name, std::string value) {
  if (!Clean(name) || name.empty() || name.find_first_of("=;, \t") != std::string::npos) return;
  for (auto& [key, kept] : cookies_) {
    if (key == name) {
      kept = std::move(value);
      return;
    }
  }
  cookies_.emplace_back(std::move(name), std::move(value));
}

std::string HostResponse::Cookie(std::string_view name) const {
  for (const auto& [key, value] : cookies_)
    if (key == name) return value;
  return {};
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
  if (!charset_.empty() && reply_.contentType.find(';') == std::string::npos)
    reply_.contentType += "; charset=" + charset_;
  if (expiresSet_) {
    const int seconds = std::max(expires_, 0) * 60;
    reply_.headers.emplace_back("Cache-Control", seconds > 0 ? "max-age=" + std::to_string(seconds) : "no-cache");
  } else if (!cacheControl_.empty()) {
    reply_.headers.emplace_back("Cache-Control", cacheControl_);
  }
  for (const auto& [name, value] : cookies_)
    reply_.headers.emplace_back("Set-Cookie", name + "=" + UrlEncode(value) + "; Path=/");
  return reply_;
}

}  // namespace kelvane::host
