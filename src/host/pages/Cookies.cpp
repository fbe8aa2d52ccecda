#include "host/pages/Cookies.h"

#include <cstdio>
#include <ctime>

#include "host/pages/CodePages.h"
#include "host/pages/WebText.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/DateTime.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

// An attribute's text may not end the attribute or the header.
std::string Attribute(std::string text, std::string_view attribute) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == ';')
      throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                    "Response.Cookies: the " + std::string(attribute) +
                                        " holds a control character or ';'");
  }
  return text;
}

std::string Encoded(std::string_view text, int codePage) { return UrlEncode(EncodeText(text, codePage)); }

}  // namespace

std::string ResponseCookie::Text() const {
  if (keys_.empty()) return value_;
  std::string text;
  for (const auto& [key, value] : keys_) (text.empty() ? text : text += '&').append(key).append("=").append(value);
  return text;
}

std::string ResponseCookie::Key(std::string_view key) const {
  for (const auto& [name, value] : keys_)
    if (oleaut::SameName(name, key)) return value;
  return {};
}

void ResponseCookie::SetValue(std::string value) {
  keys_.clear();
  value_ = std::move(value);
}

void ResponseCookie::SetKey(std::string key, std::string value) {
  value_.clear();
  for (auto& [name, kept] : keys_) {
    if (oleaut::SameName(name, key)) {
      kept = std::move(value);
      return;
    }
  }
  keys_.emplace_back(std::move(key), std::move(value));
}

void ResponseCookie::SetDomain(std::string domain) { domain_ = Attribute(std::move(domain), "domain"); }

void ResponseCookie::SetPath(std::string path) { path_ = Attribute(std::move(path), "path"); }

std::string ResponseCookie::Header(int codePage) const {
  std::string header = Encoded(name_, codePage) + "=";
  if (keys_.empty()) header += Encoded(value_, codePage);
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (i > 0) header += '&';
    header += Encoded(keys_[i].first, codePage) + "=" + Encoded(keys_[i].second, codePage);
  }
  if (expires_) header += "; expires=" + HttpDate(*expires_);
  if (!domain_.empty()) header += "; domain=" + domain_;
  if (!path_.empty()) header += "; path=" + path_;
  if (secure_) header += "; secure";
  if (httpOnly_) header += "; HttpOnly";
  return header;
}

std::string HttpDate(oleaut::Date local) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const oleaut::DateParts parts = oleaut::SplitDate(local);
  std::tm time{};
  time.tm_year = parts.year - 1900;
  time.tm_mon = parts.month - 1;
  time.tm_mday = parts.day;
  time.tm_hour = parts.hour;
  time.tm_min = parts.minute;
  time.tm_sec = parts.second;
  time.tm_isdst = -1;
  const std::time_t moment = std::mktime(&time);
  std::tm utc{};
  gmtime_r(&moment, &utc);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday], utc.tm_mday,
                kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

}  // namespace kelvane::host
