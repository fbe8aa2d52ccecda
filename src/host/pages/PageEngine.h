#pragma once
// Runs .ksp pages: text outside <% %> is written to the response, <% ... %>
// is Lua, <%= expr %> writes the value. Safe to call from several threads
// at once; each thread keeps its own Lua state and compiled pages.

#include <chrono>
#include <cstddef>
#include <filesystem>

#include "host/pages/PageRequest.h"

namespace kelvane::host {

struct PageLimits {
  std::chrono::milliseconds time{10000};
  std::size_t memoryBytes = std::size_t{256} << 20;
};

class PageEngine {
 public:
  // `root` is the site's folder (Server.MapPath resolves against it).
  PageEngine(std::filesystem::path root, PageLimits limits);

  // Runs the page file `page` for `request`. A page that fails (a syntax
  // error, an uncaught automation error, a time or memory limit) gives
  // status 500 and a text body naming source, number, description, page and
  // line; a missing page gives 404. Never throws.
  PageReply Run(const std::filesystem::path& page, const PageRequest& request) const;

  const std::filesystem::path& Root() const { return root_; }
  const PageLimits& Limits() const { return limits_; }

 private:
  std::filesystem::path root_;
  PageLimits limits_;
};

}  // namespace kelvane::host
