#include "host/pages/PageEngine.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>

#include "host/pages/HostResponse.h"
#include "host/pages/Intrinsics.h"
#include "host/pages/PageContext.h"
#include "host/pages/FileReach.h"
#include "host/pages/PageDeadline.h"
#include "host/pages/PageLanguages.h"
#include "host/pages/RedisSessionStore.h"
#include "host/pages/SiteFiles.h"
#include "host/pages/SiteState.h"
#include "platform/complus/ObjectContext.h"
#include "platform/memory/PageMemory.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/picture/LoadPicture.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

PageReply Failure(int status, std::string text) {
  PageReply reply;
  reply.status = status;
  reply.contentType = "text/plain; charset=utf-8";
  reply.body = std::move(text);
  return reply;
}

// Deactivates and empties every object the page made, then lets go of
// them: objects that hold each other die with the page, and the next page
// on the thread starts with no Image alive, on a fresh surface. What an
// object lets go of may make more: the list is walked as it grows.
void ReleaseCreated(std::vector<oleaut::ObjectRef>& created) noexcept {
  for (std::size_t i = 0; i < created.size(); ++i) {
    const oleaut::ObjectRef object = created[i];
    if (auto* control = dynamic_cast<complus::ObjectControl*>(object.get())) {
      try {
        control->Deactivate();
      } catch (...) {
        // An object that cannot deactivate is emptied and released all the same.
      }
    }
    if (auto* holder = dynamic_cast<oleaut::ValueHolder*>(object.get())) holder->DropValues();
  }
  std::vector<oleaut::ObjectRef> dying = std::move(created);
  created.clear();
}

PageReply Failed(PageFailure failure) {
  PageReply reply = Failure(500, failure.Text());
  reply.failure = std::move(failure);
  return reply;
}

bool IsRegularFile(const fs::path& file, struct stat& status) {
  return ::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsAspPage(const fs::path& page) { return oleaut::SameName(page.extension().native(), ".asp"); }

// A picture a page names by a relative path: the site's file in any letter
// case, else where it would lie.
fs::path FindPicture(const fs::path& root, const fs::path& name) {
  fs::path path = (root / name).lexically_normal();
  if (auto found = FindSiteFile(root, path)) return std::move(found->path);
  return path;
}

}  // namespace

std::optional<PageFailure> RunPageFile(PageContext& context, const Intrinsics& intrinsics, const struct stat& status) {
  std::optional<PageFailure> failure = IsAspPage(context.page) ? RunAspPage(context, intrinsics, status)
                                                               : RunKspPage(context, intrinsics, status);
  if (!failure) failure = std::exchange(context.innerFailure, std::nullopt);
  return failure;
}

bool IsPageFile(const fs::path& file) {
  return IsAspPage(file) || oleaut::SameName(file.extension().native(), ".ksp");
}

PageEngine::PageEngine(fs::path root, PageLimits limits, SessionLimits sessions, std::optional<StoreAddress> store)
    : root_(fs::weakly_canonical(root)),
      limits_(limits),
      site_(std::make_unique<SiteState>(sessions)),
      sharedSessions_(store ? std::make_unique<RedisSessionStore>(*std::move(store), sessions) : nullptr),
      sessions_(sharedSessions_ ? sharedSessions_.get() : site_.get()) {
  RegisterPageLibraries();
}

PageEngine::~PageEngine() {
  if (site_->Started() && HandlesSiteEvent(root_, SiteEvent::ApplicationOnEnd))
    End(SiteEvent::ApplicationOnEnd, nullptr, PageRequest{});
}

PageReply PageEngine::Run(const fs::path& page, const PageRequest& request) const {
  struct stat status {};
  if (!IsRegularFile(page, status)) return Failure(404, "page not found: " + page.filename().string() + "\n");
  return Execute(page, status, request, limits_.time, nullptr);
}

PageReply PageEngine::RunErrorPage(const fs::path& page, const PageRequest& request,
                                   const PageFailure& failure) const {
  struct stat status {};
  if (!IsRegularFile(page, status))
    return Failed({"Kelvane", std::nullopt, "the error page is missing", {}, 0, page.filename().string()});
  return Execute(page, status, request, ErrorPageTime(), &failure);
}

std::chrono::milliseconds PageEngine::ErrorPageTime() const {
  return std::min<std::chrono::milliseconds>(limits_.time, std::chrono::seconds(2));
}

PageReply PageEngine::Execute(const fs::path& page, const struct stat& status, const PageRequest& request,
                              std::chrono::milliseconds time, const PageFailure* lastError) const {
  try {
    const memory::LimitScope memoryLimit(limits_.memoryBytes);
    const auto deadline = Clock::now() + time;
    const DeadlineScope deadlineScope(deadline);
    PageContext context{request,
                        root_,
                        page,
                        *site_,
                        *sessions_,
                        std::make_shared<HostResponse>(),
                        std::make_shared<complus::ObjectContext>(),
                        {},
                        deadline,
                        {},
                        true,
                        lastError,
                        0,
                        {}};
    if (lastError) context.response->SetStatus(500);
    sessions_->KeepEnded(HandlesSiteEvent(root_, SiteEvent::SessionOnEnd));
    context.objectContext->SetItem("Response", oleaut::Variant(oleaut::ObjectRef(context.response)));
    const complus::ContextScope contextScope(context.objectContext);
    const picture::PictureFolderScope pictureFolder(root_, FindPicture);
    const FileReachScope fileReach(root_, limits_.dataFolders);

    std::optional<PageFailure> failure;
    {
      const Intrinsics intrinsics = MakeIntrinsics(context);
      const struct Ending {
        PageContext& context;
        ~Ending() { EndIntrinsics(context); }
      } ending{context};
      site_->StartOnce([&] { failure = RunSiteEvent(context, intrinsics, SiteEvent::ApplicationOnStart); });
      if (!failure) failure = RunPageFile(context, intrinsics, status);
      // The session is kept whether the page failed or not, as the values
      // it set before failing are in the memory store.
      if (auto unsaved = SaveSession(context); unsaved && !failure) failure = std::move(unsaved);
    }
    ReleaseCreated(context.created);
    // A session that ended (this page's, abandoned, or one that timed out)
    // has its Session_OnEnd here, on a worker, one a page.
    if (auto ended = sessions_->TakeEnded()) End(SiteEvent::SessionOnEnd, std::move(ended), request);
    if (failure) return Failed(*std::move(failure));
    return std::move(context.response->Finish());
  } catch (const std::bad_alloc&) {
    return Failed({"Kelvane", oleaut::kOutOfMemory, "Out of memory", {}, 0, page.filename().string()});
  }
}

void PageEngine::End(SiteEvent event, std::shared_ptr<SessionState> session, const PageRequest& request) const noexcept {
  try {
    const memory::LimitScope memoryLimit(limits_.memoryBytes);
    const auto deadline = Clock::now() + limits_.time;
    const DeadlineScope deadlineScope(deadline);
    PageContext context{request,
                        root_,
                        root_ / "global.asa",
                        *site_,
                        *sessions_,
                        std::make_shared<HostResponse>(),
                        std::make_shared<complus::ObjectContext>(),
                        {},
                        deadline,
                        std::move(session),
                        true,
                        nullptr,
                        0,
                        {}};
    const complus::ContextScope contextScope(context.objectContext);
    const picture::PictureFolderScope pictureFolder(root_, FindPicture);
    const FileReachScope fileReach(root_, limits_.dataFolders);
    {
      const Intrinsics intrinsics = MakeIntrinsics(context);
      RunSiteEvent(context, intrinsics, event);
    }
    site_->Unlock(&context);
    ReleaseCreated(context.created);
  } catch (const std::bad_alloc&) {
    // A handler that cannot even start is skipped.
  }
}

}  // namespace kelvane::host
