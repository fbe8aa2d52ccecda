#pragma once
// The VBScript engine as the host uses it: compile a page once, run it as
// often as needed, on any thread that has it.
//
//   struct SiteFiles : vbscript::PageFiles { ... };   // reads inside the root
//   SiteFiles files{root};
//   std::shared_ptr<const vbscript::Program> program;
//   try { program = vbscript::CompilePage("shop/cart.asp", files); }
//   catch (const vbscript::CompileFailure& f) { /* 500 with f.Error() */ }
//   vbscript::RunOptions run;
//   run.objects = {{"Response", response}, {"Request", request}, {"Server", server}};
//   run.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
//   run.ended = [&] { return response->Ended(); };
//   if (auto error = vbscript::RunProgram(*program, run)) { /* 500 with *error */ }

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/vbscript/AspTranslator.h"
#include "host/vbscript/Program.h"
#include "host/vbscript/ScriptError.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host::vbscript {

// Translates the page at `path` (site-relative) with its includes and
// compiles it. Raises CompileFailure naming the file and line at fault.
std::shared_ptr<const Program> CompilePage(const std::string& path, PageFiles& files);

struct RunOptions {
  // The host's objects by name, any case: Response, Request, Server,
  // Session, Application. Objects are reached only through their dispatch
  // interface, so Server.CreateObject is the host's own.
  std::vector<std::pair<std::string, oleaut::ObjectRef>> objects;
  // Past this moment the page stops, whatever its error handling.
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  // Where text blocks and <%= %> values go; when empty they go through
  // Response.Write.
  std::function<void(std::string_view)> write;
  // Asked after each call to an object: true once the page has ended
  // (Response.End, Redirect); the page then stops, as a success.
  std::function<bool()> ended;
};

// Runs `program` on the calling thread. nullopt when the page ran to its
// end or ended itself; otherwise its uncaught error (out of memory as 7,
// too deep a recursion as 28) or its stop at the deadline (timedOut).
// Never throws.
std::optional<ScriptError> RunProgram(const Program& program, const RunOptions& options);

}  // namespace kelvane::host::vbscript
