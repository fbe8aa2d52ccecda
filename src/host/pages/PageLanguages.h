#pragma once
// The page languages, each in a room of its own, as the page engine calls
// them: each runs a page in the context the engine has prepared, with the
// intrinsic objects as its globals, and gives its failure, or nothing when
// the page ran to its end or ended itself. Neither throws.

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/pages/Intrinsics.h"
#include "host/pages/PageContext.h"
#include "host/pages/PageFailure.h"

namespace kelvane::host {

// .ksp pages: Lua between <% %>.
std::optional<PageFailure> RunKspPage(PageContext& context, const Intrinsics& intrinsics,
                                      const struct stat& status);
// .asp pages: VBScript between <% %>. A global.asa that does not compile
// fails every one of them with its error.
std::optional<PageFailure> RunAspPage(PageContext& context, const Intrinsics& intrinsics,
                                      const struct stat& status);

// The events of the site's global.asa, in the order of its handlers.
enum class SiteEvent { ApplicationOnStart, SessionOnStart, SessionOnEnd, ApplicationOnEnd };

// Runs the handler of `event` in the global.asa at the root of the site of
// `context`, in the scope of a page of its own, with the intrinsic objects
// the event has (Application and Server; Session too for the sessions'
// events, Request and Response too for Session_OnStart); nothing when
// there is no global.asa or it has no such handler. Its failure, or
// global.asa's own when it does not compile. Never throws.
std::optional<PageFailure> RunSiteEvent(PageContext& context, const Intrinsics& intrinsics, SiteEvent event);

// Whether the site at `root` has a global.asa that handles `event`.
bool HandlesSiteEvent(const std::filesystem::path& root, SiteEvent event);

// A page compiled and not run, for `kelvane check`: its compile error, and
// the files it is made of (the page, then its includes) with their text.
struct PageCheck {
  struct File {
    std::string path;    // site-relative, '/' separated, as the page names it
    std::string text;
    std::string onDisk;  // when found only by ignoring letter case: its path on disk
  };
  std::optional<PageFailure> error;
  bool refused = false;  // the error refuses a construct on purpose
  std::vector<File> files;
  std::vector<std::string> ignored;  // what compiles but does nothing here, and why
};

// Compiles the page `page` of the site `root` (canonical) as a request would.
PageCheck CheckAspPage(const std::filesystem::path& root, const std::filesystem::path& page);
// Compiles the site's global.asa; nullopt when it has none.
std::optional<PageCheck> CheckGlobalAsa(const std::filesystem::path& root);
PageCheck CheckKspPage(const std::filesystem::path& root, const std::filesystem::path& page);

// The page `context.page`, in the language its name tells, with
// `intrinsics`; the failure of a page or handler run inside it counts as
// its own.
std::optional<PageFailure> RunPageFile(PageContext& context, const Intrinsics& intrinsics,
                                       const struct stat& status);

// Registers the objects the languages bring for Server.CreateObject
// (VBScript.RegExp); once per process is enough, more is harmless.
void RegisterLanguageObjects();

// Registers the libraries of objects both languages create with
// Server.CreateObject (Scripting.Dictionary, ADODB.Connection, ...); once
// per process is enough, more is harmless.
void RegisterObjectLibraries();

// Registers both of the above, once per process.
void RegisterPageLibraries();

}  // namespace kelvane::host
