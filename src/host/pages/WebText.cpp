#include "host/pages/WebText.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

#include "host/pages/CodePages.h"

namespace kelvane::host {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string UrlDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      decoded += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
      encoded += c;
    } else if (c == ' ') {
      encoded += '+';
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 15];
    }
  }
  return encoded;
}

std::string HtmlEncode(std::string_view text) {
  std::string encoded;
  encoded.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    switch (c) {
      case '&': encoded += "&amp;"; break;
      case '<': encoded += "&lt;"; break;
      case '>': encoded += "&gt;"; break;
      case '"': encoded += "&quot;"; break;
      case '\'': encoded += "&#39;"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x80) {
          const Utf8Step step = NextUtf8(text.substr(at));
          encoded += step.valid ? text.substr(at, step.length) : "\xEF\xBF\xBD";
          at += step.length;
          continue;
        }
        encoded += c;
    }
    ++at;
  }
  return encoded;
}

Fields ParseFields(std::string_view text) {
  Fields fields;
  while (!text.empty()) {
    const std::size_t end = text.find('&');
    const std::string_view pair = text.substr(0, end);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      fields.emplace_back(UrlDecode(pair.substr(0, equals)),
                          equals == std::string_view::npos ? std::string() : UrlDecode(pair.substr(equals + 1)));
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return fields;
}

Fields ParseCookies(std::string_view header) {
  Fields cookies;
  while (!header.empty()) {
    const std::size_t end = std::min(header.find(';'), header.size());
    std::string_view pair = header.substr(0, end);
    header.remove_prefix(std::min(end + 1, header.size()));
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    const std::size_t equals = pair.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    cookies.emplace_back(UrlDecode(pair.substr(0, equals)), std::string(pair.substr(equals + 1)));
  }
  return cookies;
}

bool IsFormBody(const PageRequest& request) {
  for (const auto& [name, value] : request.headers)
    if (strcasecmp(name.c_str(), "Content-Type") == 0)
      return strncasecmp(value.c_str(), "application/x-www-form-urlencoded", 33) == 0;
  return false;
}

std::string HeaderVariableName(std::string_view header) {
  std::string name = "HTTP_";
  for (const char c : header)
    name += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace kelvane::host
