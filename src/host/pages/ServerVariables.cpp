#include "host/pages/ServerVariables.h"

#include <string>
#include <string_view>

#include "host/pages/WebText.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

std::string_view HeaderValue(const PageRequest& request, std::string_view name) {
  for (const auto& [header, value] : request.headers)
    if (oleaut::SameName(header, name)) return value;
  return {};
}

// The host the visitor named, without its port; the server's address when
// it named none.
std::string ServerName(const PageRequest& request) {
  std::string_view host = HeaderValue(request, "Host");
  if (host.empty()) return request.localAddress;
  const std::size_t colon = host.rfind(':');
  if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) host = host.substr(0, colon);
  return std::string(host);
}

std::string PortText(std::uint16_t port) { return port == 0 ? std::string() : std::to_string(port); }

}  // namespace

Fields ServerVariables(const PageRequest& request, const std::filesystem::path& root,
                       const std::filesystem::path& page) {
  std::string allHttp, allRaw;
  for (const auto& [header, value] : request.headers) {
    allHttp.append(HeaderVariableName(header)).append(":").append(value).append("\n");
    allRaw.append(header).append(": ").append(value).append("\r\n");
  }
  const char* const secure = request.secure ? "1" : "0";
  Fields variables{
      {"ALL_HTTP", std::move(allHttp)},
      {"ALL_RAW", std::move(allRaw)},
      {"APPL_MD_PATH", "/LM/W3SVC/1/ROOT"},
      {"APPL_PHYSICAL_PATH", (root / "").string()},
      {"AUTH_PASSWORD", ""},
      {"AUTH_TYPE", ""},
      {"AUTH_USER", ""},
      {"CERT_COOKIE", ""},
      {"CERT_FLAGS", ""},
      {"CERT_ISSUER", ""},
      {"CERT_KEYSIZE", ""},
      {"CERT_SECRETKEYSIZE", ""},
      {"CERT_SERIALNUMBER", ""},
      {"CERT_SERVER_ISSUER", ""},
      {"CERT_SERVER_SUBJECT", ""},
      {"CERT_SUBJECT", ""},
      {"CONTENT_LENGTH", std::to_string(request.body.size())},
      {"CONTENT_TYPE", std::string(HeaderValue(request, "Content-Type"))},
      {"GATEWAY_INTERFACE", "CGI/1.1"},
      {"HTTPS", request.secure ? "on" : "off"},
      {"HTTPS_KEYSIZE", ""},
      {"HTTPS_SECRETKEYSIZE", ""},
      {"HTTPS_SERVER_ISSUER", ""},
      {"HTTPS_SERVER_SUBJECT", ""},
      {"INSTANCE_ID", "1"},
      {"INSTANCE_META_PATH", "/LM/W3SVC/1"},
      {"LOCAL_ADDR", request.localAddress},
      {"LOGON_USER", ""},
      {"PATH_INFO", request.path},
      {"PATH_TRANSLATED", page.string()},
      {"QUERY_STRING", request.queryString},
      {"REMOTE_ADDR", request.client},
      {"REMOTE_HOST", request.client},
      {"REMOTE_PORT", PortText(request.remotePort)},
      {"REMOTE_USER", ""},
      {"REQUEST_METHOD", request.method},
      {"SCRIPT_NAME", request.path},
      {"SERVER_NAME", ServerName(request)},
      {"SERVER_PORT", PortText(request.serverPort)},
      {"SERVER_PORT_SECURE", secure},
      {"SERVER_PROTOCOL", request.protocol},
      {"SERVER_SOFTWARE", "Kelvane"},
      {"UNENCODED_URL", request.target},
      {"URL", request.path},
  };
  for (const auto& [header, value] : request.headers) variables.emplace_back(HeaderVariableName(header), value);
  return variables;
}

}  // namespace kelvane::host
