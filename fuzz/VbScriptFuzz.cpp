// Feeds arbitrary bytes to the .asp translator, the VBScript lexer and the
// compiler as a page: every input must end in a program or in a compile
// error, never in a crash, a hang or a stack overflow (the sanitizers watch).
// An include names the same bytes again, so cycles and nesting are reached.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "host/vbscript/Compiler.h"
#include "host/vbscript/ScriptError.h"

namespace {

class OneFile : public kelvane::host::vbscript::PageFiles {
 public:
  explicit OneFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::optional<std::string> Read(const std::string&) override { return bytes_; }

 private:
  std::string bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  OneFile files(std::string(reinterpret_cast<const char*>(data), size));
  try {
    kelvane::host::vbscript::Compile(kelvane::host::vbscript::TranslatePage("page.asp", files));
  } catch (const kelvane::host::vbscript::CompileFailure&) {
  }
  return 0;
}
