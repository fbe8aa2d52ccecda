#include "host/http/AccessLog.h"

#include <ctime>

namespace kelvane::host {

void AppendPrintable(std::string& out, std::string_view text, bool spaces) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte > 0x20 || (spaces && byte == 0x20)) && byte < 0x7f && c != '"' && c != '\\') {
      out += c;
    } else {
      constexpr std::string_view kHex = "0123456789ABCDEF";
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0f];
    }
  }
}

namespace {

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  if (text.empty())
    out += '-';
  else
    AppendPrintable(out, text, /*spaces=*/true);
  out += '"';
}

// "[10/Oct/2026:13:55:36 +0000]", in local time.
void AppendTime(std::string& out, std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[40];
  out.append(text, std::strftime(text, sizeof text, "[%d/%b/%Y:%H:%M:%S %z]", &local));
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string AccessLine(LogFormat format, const AccessRecord& record) {
  const std::string_view path = record.target.substr(0, record.target.find('?'));
  std::string line;
  line.reserve(128 + path.size() + record.userAgent.size() + record.referer.size());
  if (format == LogFormat::Plain) {
    AppendPrintable(line, record.method);
    line += ' ';
    AppendPrintable(line, path);
    line += ' ' + std::to_string(record.status) + ' ' + std::to_string(record.bytes) + ' ' +
            std::to_string(record.took.count()) + "us";
    return line;
  }
  AppendPrintable(line, record.client.empty() ? "-" : record.client);
  line += " - - ";
  AppendTime(line, record.received);
  line += " \"";
  AppendPrintable(line, record.method);
  line += ' ';
  AppendPrintable(line, path);
  line += ' ';
  AppendPrintable(line, record.version);
  line += "\" " + std::to_string(record.status) + ' ' +
          (record.bytes == 0 ? "-" : std::to_string(record.bytes)) + ' ';
  AppendQuoted(line, record.referer);
  line += ' ';
  AppendQuoted(line, record.userAgent);
  return line;
}

std::string_view ClientAddress(std::string_view peer, std::string_view forwardedFor,
                               const AddressSet& proxies) {
  std::string_view client = peer;
  if (!proxies.Contains(peer)) return client;
  while (!forwardedFor.empty()) {
    const auto comma = forwardedFor.rfind(',');
    const std::string_view hop =
        Trimmed(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1));
    if (!AddressSet::IsAddress(hop)) break;
    client = hop;
    if (!proxies.Contains(hop) || comma == std::string_view::npos) break;
    forwardedFor = forwardedFor.substr(0, comma);
  }
  return client;
}

}  // namespace kelvane::host
