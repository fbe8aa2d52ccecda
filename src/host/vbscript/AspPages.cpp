// .asp pages: compiled once per thread with their includes, compiled again
// when one of their files changes, and run with the intrinsic objects.

#include <sys/stat.h>

#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "host/pages/PageLanguages.h"
#include "host/pages/PageObjects.h"
#include "host/pages/SiteFiles.h"
#include "host/vbscript/Dictionary.h"
#include "host/vbscript/Engine.h"
#include "host/vbscript/RegExp.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;

// The site's files for the translator: regular files inside the root, links
// resolved, each read noted with the version read.
class PageSiteFiles : public vbscript::PageFiles {
 public:
  explicit PageSiteFiles(const fs::path& root) : root_(root) {}

  std::optional<std::string> Read(const std::string& path) override {
    std::error_code error;
    const fs::path file = fs::weakly_canonical(root_ / path, error);
    if (error || !IsInside(root_, file)) return std::nullopt;
    FileStamp stamp;
    std::optional<std::string> text = ReadSiteFile(file, &stamp);
    if (text) stamps_.emplace_back(file, stamp);
    return text;
  }

  std::vector<std::pair<fs::path, FileStamp>>& Stamps() { return stamps_; }

 private:
  const fs::path& root_;
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

}  // namespace

std::optional<PageFailure> RunAspPage(PageContext& context, const Intrinsics& intrinsics, const struct stat&) {
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

  vbscript::RunOptions run;
  run.objects = {{"Request", intrinsics.request},
                 {"Response", intrinsics.response},
                 {"Server", intrinsics.server},
                 {"Session", intrinsics.session},
                 {"Application", intrinsics.application}};
  run.deadline = context.deadline;
  HostResponse& response = *context.response;
  run.write = [&response](std::string_view text) { response.Write(text); };
  run.ended = [&response] { return response.Ended(); };
  if (const auto error = vbscript::RunProgram(*program, run)) return Describe(*error, context.page);
  return std::nullopt;
}

void RegisterLanguageObjects() {
  RegisterPageObject("Scripting.Dictionary", vbscript::CreateDictionary);
  RegisterPageObject("VBScript.RegExp", vbscript::CreateRegExp);
}

}  // namespace kelvane::host
