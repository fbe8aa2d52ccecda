#pragma once
// One request as the page engine sees it, and the reply a page makes.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/pages/PageFailure.h"

namespace kelvane::host {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct PageRequest {
  std::string method;       // "GET", "POST", ...
  std::string path;         // the URL path, decoded, e.g. "/chart.ksp"
  std::string queryString;  // after '?', as sent (still URL-encoded)
  std::string target;       // the path and query as sent, e.g. "/chart.ksp?w=%20"
  std::string protocol = "HTTP/1.1";
  Fields headers;           // request headers, names as sent
  std::string body;         // the request body (a form, for POST)
  std::string remoteAddress;
  std::string client;  // the visitor's address: remoteAddress, or what a trusted proxy forwards
  bool secure = false;  // came over TLS, as a trusted proxy in front says
  std::uint16_t remotePort = 0;  // the visitor's port; 0 when unknown, or a proxy forwarded it
  std::string localAddress;      // the server's address the request came in on
  std::uint16_t serverPort = 0;  // the port the visitor asked for: the server's, or behind a
                                 // trusted proxy, what it forwards; 0 when unknown
};

struct PageReply {
  int status = 200;
  std::string contentType = "text/html";
  Fields headers;    // further response headers
  std::string body;  // the bytes to send
  std::optional<PageFailure> failure;  // the page failed: status 500, and the body
                                       // is the failure's text
};

}  // namespace kelvane::host
