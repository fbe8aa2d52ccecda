#pragma once
// The access log's lines, and the client address they name.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/http/AddressSet.h"

namespace kelvane::host {

enum class LogFormat {
  Plain,     // "GET /chart.ksp 200 5123 812us": method, path, status, body bytes
             // sent, microseconds from request line to last byte
  Combined,  // the combined log format: client, time, request line, status,
             // body bytes ("-" for none), Referer and User-Agent
};

// What the log says of one request.
struct AccessRecord {
  std::string_view method;
  std::string_view target;   // as sent; the query is left out of the log
  std::string_view version;  // "HTTP/1.1"
  unsigned status = 0;
  std::uint64_t bytes = 0;
  std::chrono::microseconds took{0};
  std::chrono::system_clock::time_point received;
  std::string_view client;     // address
  std::string_view referer;    // empty: not sent
  std::string_view userAgent;  // empty: not sent
};

// Appends `text`, as a client sent it, to a line of the log: bytes outside
// printable ASCII, '"' and '\' escaped as %XX; spaces too, unless `spaces`.
void AppendPrintable(std::string& out, std::string_view text, bool spaces = false);

// The line for `record`, without a newline. Bytes outside printable ASCII,
// '"' and '\' are escaped as %XX, and so are spaces outside Referer and
// User-Agent.
std::string AccessLine(LogFormat format, const AccessRecord& record);

// The client's address: `peer`, unless `peer` is one of `proxies` and
// `forwardedFor` (the X-Forwarded-For values, joined by commas) names
// others. Then, from the right, the first address that is not one of
// `proxies`; or the leftmost, when all are; or the last one believed, when
// the next to its left is not an address.
std::string_view ClientAddress(std::string_view peer, std::string_view forwardedFor,
                               const AddressSet& proxies);

}  // namespace kelvane::host
