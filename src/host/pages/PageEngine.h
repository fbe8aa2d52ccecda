#pragma once
// Runs pages: text outside <% %> is written to the response, <% ... %> is
// script, <%= expr %> writes the value; in Lua for .ksp pages, in VBScript
// for .asp pages. Safe to call from several threads at once; each thread
// keeps its own compiled pages. Sessions and the application's values live
// as long as the engine.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>

#include "host/pages/PageRequest.h"
#include "host/pages/SiteState.h"

namespace kelvane::host {

struct PageLimits {
  std::chrono::milliseconds time{10000};
  std::size_t memoryBytes = std::size_t{256} << 20;
};

// Whether `file` is a page the engine runs: .ksp (Lua) or .asp (VBScript),
// in any case; other files are served as they are.
bool IsPageFile(const std::filesystem::path& file);

class PageEngine {
 public:
  // `root` is the site's folder (Server.MapPath resolves against it).
  PageEngine(std::filesystem::path root, PageLimits limits, SessionLimits sessions = {});
  ~PageEngine();

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
  std::unique_ptr<SiteState> site_;
};

}  // namespace kelvane::host
