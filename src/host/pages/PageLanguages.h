#pragma once
// The page languages, each in a room of its own, as the page engine calls
// them: each runs a page in the context the engine has prepared, with the
// intrinsic objects as its globals, and gives its failure, or nothing when
// the page ran to its end or ended itself. Neither throws.

#include <sys/stat.h>

#include <optional>

#include "host/pages/Intrinsics.h"
#include "host/pages/PageContext.h"
#include "host/pages/PageFailure.h"

namespace kelvane::host {

// .ksp pages: Lua between <% %>.
std::optional<PageFailure> RunKspPage(PageContext& context, const Intrinsics& intrinsics,
                                      const struct stat& status);
// .asp pages: VBScript between <% %>.
std::optional<PageFailure> RunAspPage(PageContext& context, const Intrinsics& intrinsics,
                                      const struct stat& status);

// Registers the objects the languages bring for Server.CreateObject
// (Scripting.Dictionary); once per process is enough, more is harmless.
void RegisterLanguageObjects();

}  // namespace kelvane::host
