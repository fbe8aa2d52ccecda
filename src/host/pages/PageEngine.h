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
#include <optional>
#include <vector>

#include "host/pages/PageFailure.h"
#include "host/pages/PageRequest.h"
#include "host/pages/SiteState.h"

struct stat;

namespace kelvane::host {

enum class SiteEvent;

struct PageLimits {
  std::chrono::milliseconds time{10000};
  std::size_t memoryBytes = std::size_t{256} << 20;
  // The only folders pages write files in, canonical (see FileReach.h);
  // none by default.
  std::vector<std::filesystem::path> dataFolders{};
};

// Whether `file` is a page the engine runs: .ksp (Lua) or .asp (VBScript),
// in any case; other files are served as they are.
bool IsPageFile(const std::filesystem::path& file);

class PageEngine {
 public:
  // `root` is the site's folder (Server.MapPath resolves against it).
  // Sessions live in the process's memory, or in the shared `store`.
  PageEngine(std::filesystem::path root, PageLimits limits, SessionLimits sessions = {},
             std::optional<StoreAddress> store = std::nullopt);
  // Runs global.asa's Application_OnEnd, when it has one and a page has
  // run.
  ~PageEngine();

  // Runs the page file `page` for `request`. A page that fails (a syntax
  // error, an uncaught automation error, a time or memory limit) gives
  // status 500, the failure, and its text as the body; a missing page gives
  // 404. Never throws.
  PageReply Run(const std::filesystem::path& page, const PageRequest& request) const;

  // Runs the page file `page`, the site's page for failures, for `request`,
  // whose own page failed with `failure`: Server.GetLastError tells it, and
  // its status is 500 unless it sets another. It has ErrorPageTime(). A
  // missing error page, or one that fails itself, gives status 500 and its
  // own failure. Never throws.
  PageReply RunErrorPage(const std::filesystem::path& page, const PageRequest& request,
                         const PageFailure& failure) const;

  // The time limit of an error page: the limits' time, at most 2 s.
  std::chrono::milliseconds ErrorPageTime() const;

  const std::filesystem::path& Root() const { return root_; }
  const PageLimits& Limits() const { return limits_; }
  // How the store of sessions fares; a shared one that was unreachable is
  // tried again when its wait is over.
  StoreStatus SessionStoreStatus() const { return sessions_->Status(); }

 private:
  PageReply Execute(const std::filesystem::path& page, const struct stat& status, const PageRequest& request,
                    std::chrono::milliseconds time, const PageFailure* lastError) const;
  // Runs global.asa's handler of the end `event`, for the ended `session`
  // (Session_OnEnd) or none (Application_OnEnd), under a page's limits of
  // its own; what it fails with goes nowhere.
  void End(SiteEvent event, std::shared_ptr<SessionState> session, const PageRequest& request) const noexcept;

  std::filesystem::path root_;
  PageLimits limits_;
  std::unique_ptr<SiteState> site_;
  std::unique_ptr<SessionStore> sharedSessions_;  // none: the site keeps sessions
  SessionStore* sessions_;                        // the site, or the shared store
};

}  // namespace kelvane::host
