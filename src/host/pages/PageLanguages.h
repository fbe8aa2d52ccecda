#pragma once
// The page languages, each in a room of its own, as the page engine calls
// them: each runs a page in the context the engine has prepared, with the
// intrinsic objects as its globals, and gives its failure as the text of a
// 500 page ("source: ...\nnumber: ...\ndescription: ...\nat: ...\n"), or
// nothing when the page ran to its end or ended itself. Neither throws.

#include <sys/stat.h>

#include <string>

#include "host/pages/Intrinsics.h"
#include "host/pages/PageContext.h"

namespace kelvane::host {

// .ksp pages: Lua between <% %>.
std::string RunKspPage(PageContext& context, const Intrinsics& intrinsics, const struct stat& status);
// .asp pages: VBScript between <% %>.
std::string RunAspPage(PageContext& context, const Intrinsics& intrinsics, const struct stat& status);

// Registers the objects the languages bring for Server.CreateObject
// (Scripting.Dictionary); once per process is enough, more is harmless.
void RegisterLanguageObjects();

}  // namespace kelvane::host
