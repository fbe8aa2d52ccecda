#pragma once
// What one run of a page works with, whatever its language.

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "host/pages/HostResponse.h"
#include "host/pages/PageFailure.h"
#include "host/pages/PageRequest.h"
#include "platform/complus/ObjectContext.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host {

class SiteState;
class SessionState;
class SessionStore;

struct PageContext {
  const PageRequest& request;
  const std::filesystem::path& root;  // canonical
  std::filesystem::path page;          // the file of the page running, inside root
  SiteState& site;                    // the application's values
  SessionStore& sessions;             // where the visitors' sessions are kept
  std::shared_ptr<HostResponse> response;
  std::shared_ptr<complus::ObjectContext> objectContext;
  std::vector<oleaut::ObjectRef> created;  // deactivated and released at the end
  std::chrono::steady_clock::time_point deadline;
  std::shared_ptr<SessionState> session;  // found or made on the page's first use
  bool sessionEnabled = true;             // false: the page has no session
  const PageFailure* lastError = nullptr;  // for an error page: what failed
  int executing = 0;  // pages run by Server.Execute inside this one
  // The failure of a page or a global.asa handler run inside this page,
  // which ends the request with it.
  std::optional<PageFailure> innerFailure;
};

}  // namespace kelvane::host
