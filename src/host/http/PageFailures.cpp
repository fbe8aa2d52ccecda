#include "host/http/PageFailures.h"

#include <cstdio>
#include <random>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

// Eight hex digits, drawn afresh for each failure.
std::string NewRequestId() {
  thread_local std::mt19937 draws{std::random_device{}()};
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(draws()));
  return text;
}

// Every value of the header `name` in `request`, joined by commas.
std::string JoinedHeader(const PageRequest& request, std::string_view name) {
  std::string values;
  for (const auto& [header, value] : request.headers)
    if (oleaut::SameName(header, name)) (values.empty() ? values : values += ',') += value;
  return values;
}

}  // namespace

void PageFailures::Answer(const PageRequest& request, PageReply& reply) const {
  const std::string id = NewRequestId();
  Log(id, request, "failed", *reply.failure);
  if (ShowsDetails(request)) {
    reply.body += "request: " + id + "\n";
    return;
  }
  if (errorPage_) {
    PageReply custom = engine_.RunErrorPage(*errorPage_, request, *reply.failure);
    if (!custom.failure) {
      reply = std::move(custom);
      return;
    }
    Log(id, request, "failed in its error page too", *custom.failure);
  }
  reply = PageReply{};
  reply.status = 500;
  reply.contentType = "text/plain; charset=utf-8";
  reply.body = "500 Internal Server Error\nrequest " + id + "\n";
}

bool PageFailures::ShowsDetails(const PageRequest& request) const {
  if (options_.pageErrors != PageErrors::Local) return options_.pageErrors == PageErrors::All;
  // A request that a proxy not trusted passed on may come from anywhere.
  const std::string forwarded = JoinedHeader(request, "X-Forwarded-For");
  if (!forwarded.empty() && !options_.trustedProxies.Contains(request.remoteAddress)) return false;
  const std::string_view client = ClientAddress(request.remoteAddress, forwarded, options_.trustedProxies);
  static const AddressSet loopback = AddressSet::Loopback();
  return loopback.Contains(client) || options_.endpointClients.Contains(client);
}

void PageFailures::Log(std::string_view id, const PageRequest& request, std::string_view what,
                       const PageFailure& failure) const {
  std::string line = "http: request ";
  line.append(id).append(" ").append(what).append(": ");
  AppendPrintable(line, request.method);
  line += ' ';
  AppendPrintable(line, request.path);
  std::string text = failure.Text();
  text.pop_back();
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos;) text.replace(at, 1, " | ");
  line += ": ";
  AppendPrintable(line, text, /*spaces=*/true);
  log_(line);
}

}  // namespace kelvane::host
