#pragma once
// One request as the page engine sees it, and the reply a page makes.

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
  Fields headers;           // request headers, names as sent
  std::string body;         // the request body (a form, for POST)
  std::string remoteAddress;
  std::string client;  // the visitor's address: remoteAddress, or what a trusted proxy forwards
  bool secure = false;  // came over TLS, as a trusted proxy in front says
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
