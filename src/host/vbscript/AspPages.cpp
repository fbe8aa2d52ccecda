// .asp pages: compiled once per thread with their includes, compiled again
// when one of their files changes, and run with the intrinsic objects.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "host/pages/PageLanguages.h"
#include "host/pages/PageObjects.h"
#include "host/pages/SiteFiles.h"
#include "host/vbscript/Dictionary.h"
#include "host/vbscript/Engine.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;

// What a compiled page was made from: a file and the version of it read.
struct FileStamp {
  fs::path path;
  time_t modified = 0;
  long modifiedNanos = 0;
  off_t size = 0;

  bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> StampOf(const fs::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileStamp{path, status.st_mtim.tv_sec, status.st_mtim.tv_nsec, status.st_size};
}

// The site's files for the translator: regular files inside the root, links
// resolved, each read noted with its version.
class SiteFiles : public vbscript::PageFiles {
 public:
  explicit SiteFiles(const fs::path& root) : root_(root) {}

  std::optional<std::string> Read(const std::string& path) override {
    std::error_code error;
    const fs::path file = fs::weakly_canonical(root_ / path, error);
    if (error || !IsInside(root_, file)) return std::nullopt;
    // Opened without waiting, so that a fifo cannot hold the page.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat status {};
    std::optional<std::string> text;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
      text.emplace();
      char buffer[16384];
      ssize_t n = 0;
      while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text->append(buffer, static_cast<std::size_t>(n));
      if (n < 0) text.reset();
      else stamps_.push_back({file, status.st_mtim.tv_sec, status.st_mtim.tv_nsec, status.st_size});
    }
    ::close(fd);
    return text;
  }

  std::vector<FileStamp>& Stamps() { return stamps_; }

 private:
  const fs::path& root_;
  std::vector<FileStamp> stamps_;
};

struct CompiledPage {
  std::vector<FileStamp> files;
  std::shared_ptr<const vbscript::Program> program;
};

thread_local std::map<std::string, CompiledPage> compiledPages;

bool IsCurrent(const CompiledPage& compiled) {
  if (!compiled.program) return false;
  for (const FileStamp& stamp : compiled.files)
    if (StampOf(stamp.path) != stamp) return false;
  return true;
}

std::string Describe(const vbscript::ScriptError& error, const fs::path& page) {
  std::string text = "source: " + error.source + "\n";
  if (!error.timedOut) text += "number: " + std::to_string(error.number) + "\n";
  text += "description: " + error.description.substr(0, 1024) + "\n";
  if (!error.file.empty()) text += "at: " + error.file + ":" + std::to_string(error.line) + "\n";
  return text + "page: " + page.filename().string() + "\n";
}

}  // namespace

std::string RunAspPage(PageContext& context, const Intrinsics& intrinsics, const struct stat&) {
  CompiledPage& compiled = compiledPages[context.page.string()];
  if (!IsCurrent(compiled)) {
    compiled = {};
    const std::string path = fs::weakly_canonical(context.page).lexically_relative(context.root).generic_string();
    SiteFiles files(context.root);
    try {
      compiled.program = vbscript::CompilePage(path, files);
    } catch (const vbscript::CompileFailure& failure) {
      return Describe(failure.Error(), context.page);
    }
    compiled.files = std::move(files.Stamps());
  }
  const std::shared_ptr<const vbscript::Program> program = compiled.program;

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
  return {};
}

void RegisterLanguageObjects() { RegisterPageObject("Scripting.Dictionary", vbscript::CreateDictionary); }

}  // namespace kelvane::host
