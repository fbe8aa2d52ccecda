#pragma once
// What the log and the client are told of a page that failed. The log
// always gets the details (source, number, description, file and line)
// under a short request id. The client sees them too where the options say
// so; anyone else gets the site's error page, when there is one, which
// reads what failed through Server.GetLastError, or else a plain 500 page
// with the request id. An error page that fails in turn is logged under the
// same id, and the plain page goes out.

#include <filesystem>
#include <optional>

#include "host/http/HttpServer.h"

namespace kelvane::host {

class PageFailures {
 public:
  // `errorPage` is a file in the site's root, or none. `engine`, `options`
  // and `log` must outlive this.
  PageFailures(const PageEngine& engine, const ServerOptions& options,
               std::optional<std::filesystem::path> errorPage, const RequestLog& log)
      : engine_(engine), options_(options), errorPage_(std::move(errorPage)), log_(log) {}

  // Turns `reply`, of a page run for `request` that failed, into what the
  // client is told, and logs the failure. On any thread.
  void Answer(const PageRequest& request, PageReply& reply) const;

 private:
  bool ShowsDetails(const PageRequest& request) const;
  void Log(std::string_view id, const PageRequest& request, std::string_view what,
           const PageFailure& failure) const;

  const PageEngine& engine_;
  const ServerOptions& options_;
  const std::optional<std::filesystem::path> errorPage_;
  const RequestLog& log_;
};

}  // namespace kelvane::host
