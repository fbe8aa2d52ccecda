// .asp pages: compiled once per thread with their includes, compiled again
// when one of their files changes, and run with the intrinsic objects.

#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <new>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "host/pages/PageLanguages.h"
#include "host/pages/PageObjects.h"
#include "host/pages/SiteFiles.h"
#include "host/vbscript/Compiler.h"
#include "host/vbscript/Engine.h"
#include "host/vbscript/GlobalAsa.h"
#include "host/vbscript/RegExp.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;

// The site's files for the translator: regular files inside the root, in
// any letter case, links resolved, each read noted with the version read,
// and with its text in `check` when that is given.
class PageSiteFiles : public vbscript::PageFiles {
 public:
  explicit PageSiteFiles(const fs::path& root, PageCheck* check = nullptr) : root_(root), check_(check) {}

  std::optional<std::string> Read(const std::string& path) override {
    const auto file = FindSiteFile(root_, (root_ / path).lexically_normal());
    if (!file) return std::nullopt;
    FileStamp stamp;
    std::optional<std::string> text = ReadSiteFile(file->path, &stamp);
    if (text) stamps_.emplace_back(file->path, stamp);
    if (text && check_)
      check_->files.push_back(
          {path, *text, file->byCase ? file->path.lexically_relative(root_).generic_string() : std::string()});
    return text;
  }

  std::vector<std::pair<fs::path, FileStamp>>& Stamps() { return stamps_; }

 private:
  const fs::path& root_;
  PageCheck* check_;
  std::vector<std::pair<fs::path, FileStamp>> stamps_;
};

struct CompiledPage {
  std::vector<std::pair<fs::path, FileStamp>> files;
  std::shared_ptr<const vbscript::Program> program;
};

thread_local std::map<std::string, CompiledPage> compiledPages;

bool IsCurrent(const CompiledPage& compiled) {
  if (!compiled.program) return false;
  struct stat status {};
  for (const auto& [path, stamp] : compiled.files)
    if (::stat(path.c_str(), &status) != 0 || FileStamp::Of(status) != stamp) return false;
  return true;
}

PageFailure Describe(const vbscript::ScriptError& error, const fs::path& page) {
  return {error.source,
          error.timedOut ? std::nullopt : std::optional(error.number),
          error.description.substr(0, 1024),
          error.file,
          error.line,
          page.filename().string()};
}

// The handlers of global.asa, as SiteEvent numbers them.
constexpr std::string_view kHandlers[] = {"Application_OnStart", "Session_OnStart", "Session_OnEnd",
                                          "Application_OnEnd"};

// A site's global.asa as compiled on this thread: the failure to compile
// it, or, for each event it handles, its script followed by a call of the
// handler.
struct CompiledGlobal {
  bool read = false;
  fs::path file;    // empty: the site has none
  FileStamp stamp;  // of the file, or of the root folder while there is none
  std::optional<PageFailure> failure;
  std::shared_ptr<const vbscript::Program> handlers[std::size(kHandlers)];
};

thread_local std::map<std::string, CompiledGlobal> compiledGlobals;

// global.asa's script with a call of `handler` at its end.
vbscript::TranslatedScript Calling(vbscript::TranslatedScript script, std::string_view handler) {
  script.program.append("\n").append(handler).append("\n");
  script.lines.push_back(script.lines.back());
  script.lines.push_back(script.lines.back());
  return script;
}

void Compile(CompiledGlobal& compiled, const fs::path& root) {
  const std::string path = compiled.file.lexically_relative(root).generic_string();
  const std::optional<std::string> text = ReadSiteFile(compiled.file, &compiled.stamp);
  try {
    if (!text) throw vbscript::CompileFailure({vbscript::kSyntaxError, vbscript::kCompileSource,
                                               "global.asa cannot be read", path, 0});
    const vbscript::GlobalAsa global = vbscript::ParseGlobalAsa(*text, path);
    const auto program = vbscript::Compile(global.script);
    for (std::size_t i = 0; i < std::size(kHandlers); ++i) {
      if (std::any_of(program->procedures.begin(), program->procedures.end(), [&](const auto& procedure) {
            return procedure.classIndex < 0 && oleaut::SameName(procedure.name, kHandlers[i]);
          }))
        compiled.handlers[i] = vbscript::Compile(Calling(global.script, kHandlers[i]));
    }
  } catch (const vbscript::CompileFailure& failure) {
    compiled.failure = Describe(failure.Error(), compiled.file);
  }
}

// The site's global.asa, compiled again when it changes, appears or goes.
const CompiledGlobal& GlobalOf(const fs::path& root) {
  CompiledGlobal& compiled = compiledGlobals[root.native()];
  struct stat status {};
  const fs::path& watched = compiled.file.empty() ? root : compiled.file;
  if (compiled.read && ::stat(watched.c_str(), &status) == 0 && FileStamp::Of(status) == compiled.stamp)
    return compiled;
  compiled = {};
  compiled.read = true;
  // The root's stamp is taken before the lookup: a global.asa made in
  // between is found on the next request.
  if (::stat(root.c_str(), &status) == 0) compiled.stamp = FileStamp::Of(status);
  if (auto found = FindSiteFile(root, root / "global.asa")) {
    compiled.file = std::move(found->path);
    Compile(compiled, root);
  }
  return compiled;
}

// Runs `program` in `context` with `objects` as its host objects.
std::optional<PageFailure> Run(PageContext& context, const vbscript::Program& program,
                               std::vector<std::pair<std::string, oleaut::ObjectRef>> objects) {
  vbscript::RunOptions run;
  run.objects = std::move(objects);
  run.deadline = context.deadline;
  HostResponse& response = *context.response;
  run.write = [&response](std::string_view text) { response.Write(text); };
  run.ended = [&response] { return response.Ended(); };
  if (const auto error = vbscript::RunProgram(program, run)) return Describe(*error, context.page);
  return std::nullopt;
}

}  // namespace

std::optional<PageFailure> RunSiteEvent(PageContext& context, const Intrinsics& intrinsics, SiteEvent event) {
  std::shared_ptr<const vbscript::Program> program;
  try {
    const CompiledGlobal& global = GlobalOf(context.root);
    if (global.failure) return global.failure;
    program = global.handlers[static_cast<std::size_t>(event)];
  } catch (const std::bad_alloc&) {
    return PageFailure{"Kelvane", oleaut::kOutOfMemory, "Out of memory", "global.asa", 0,
                       context.page.filename().string()};
  }
  if (!program) return std::nullopt;
  std::vector<std::pair<std::string, oleaut::ObjectRef>> objects = {{"Server", intrinsics.server},
                                                                    {"Application", intrinsics.application}};
  if (event == SiteEvent::SessionOnStart || event == SiteEvent::SessionOnEnd)
    objects.emplace_back("Session", intrinsics.session);
  if (event == SiteEvent::SessionOnStart) {
    objects.emplace_back("Request", intrinsics.request);
    objects.emplace_back("Response", intrinsics.response);
  }
  return Run(context, *program, std::move(objects));
}

bool HandlesSiteEvent(const fs::path& root, SiteEvent event) {
  try {
    return GlobalOf(root).handlers[static_cast<std::size_t>(event)] != nullptr;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::optional<PageCheck> CheckGlobalAsa(const fs::path& root) {
  CompiledGlobal compiled;
  auto found = FindSiteFile(root, root / "global.asa");
  if (!found) return std::nullopt;
  compiled.file = std::move(found->path);
  Compile(compiled, root);
  PageCheck check;
  check.error = std::move(compiled.failure);
  const std::string path = compiled.file.lexically_relative(root).generic_string();
  auto text = ReadSiteFile(compiled.file);
  if (!text) return check;
  if (!check.error) {
    for (const auto& object : vbscript::ParseGlobalAsa(*text, path).objects)
      check.ignored.push_back("<object id=\"" + object.id + "\" progid=\"" + object.progID +
                              "\">: global.asa makes no objects here; create it with Server.CreateObject");
  }
  check.files.push_back({path, *std::move(text), {}});
  return check;
}

PageCheck CheckAspPage(const fs::path& root, const fs::path& page) {
  PageCheck check;
  PageSiteFiles files(root, &check);
  try {
    vbscript::CompilePage(page.lexically_relative(root).generic_string(), files);
  } catch (const vbscript::CompileFailure& failure) {
    check.error = Describe(failure.Error(), page);
    check.refused = failure.Error().number == vbscript::kUnsupported;
  }
  return check;
}

std::optional<PageFailure> RunAspPage(PageContext& context, const Intrinsics& intrinsics, const struct stat&) {
  if (const auto& failure = GlobalOf(context.root).failure) return failure;
  CompiledPage& compiled = compiledPages[context.page.string()];
  if (!IsCurrent(compiled)) {
    compiled = {};
    const std::string path = fs::weakly_canonical(context.page).lexically_relative(context.root).generic_string();
    PageSiteFiles files(context.root);
    try {
      compiled.program = vbscript::CompilePage(path, files);
    } catch (const vbscript::CompileFailure& failure) {
      return Describe(failure.Error(), context.page);
    }
    compiled.files = std::move(files.Stamps());
  }
  const std::shared_ptr<const vbscript::Program> program = compiled.program;
  context.sessionEnabled = program->script.sessionState;
  if (program->script.codePage) context.response->SetCodePage(*program->script.codePage, false);
  if (program->script.lcid) context.response->SetLcid(*program->script.lcid, false);
  return Run(context, *program,
             {{"Request", intrinsics.request},
              {"Response", intrinsics.response},
              {"Server", intrinsics.server},
              {"Session", intrinsics.session},
              {"Application", intrinsics.application}});
}

void RegisterLanguageObjects() {
  RegisterPageObject("VBScript.RegExp", vbscript::CreateRegExp);
}

}  // namespace kelvane::host
