// Feeds arbitrary bytes to the .asp translator, the VBScript lexer and the
// compiler as a page: every input must end in a program or in a compile
// error, never in a crash, a hang or a stack overflow (the sanitizers watch).
// An include names the same bytes again, so cycles and nesting are reached.
//
// With --run, each program that compiles also runs, held to 50 ms and 16 MB
// as a page is held to its limits, with a Response that takes what it
// writes and a Server that makes dictionaries: whatever it does, it must
// end in its output or an error, and leave nothing alive behind it.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/pages/PageDeadline.h"
#include "host/vbscript/Compiler.h"
#include "host/objects/scripting/Dictionary.h"
#include "host/vbscript/Engine.h"
#include "host/vbscript/ScriptError.h"
#include "platform/memory/PageMemory.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"

namespace {

using namespace kelvane;
using oleaut::Variant;

bool runPages = false;

class OneFile : public host::vbscript::PageFiles {
 public:
  explicit OneFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::optional<std::string> Read(const std::string&) override { return bytes_; }

 private:
  std::string bytes_;
};

// Response.Write and Response.End.
class Response : public oleaut::IDispatch {
 public:
  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override {
    if (oleaut::SameName(name, "Write")) return 1;
    if (oleaut::SameName(name, "End")) return 2;
    return std::nullopt;
  }
  Variant Invoke(oleaut::DISPID id, std::uint16_t, std::span<const Variant> args) override {
    if (id == 1 && args.size() == 1) {
      if (!args[0].IsNull()) written += oleaut::ToString(args[0]).size();
    } else if (id == 2 && args.empty()) {
      ended = true;
    } else {
      oleaut::RaiseRuntimeError(oleaut::kWrongArgumentCount);
    }
    return {};
  }
  std::size_t written = 0;
  bool ended = false;
};

// Server.CreateObject("Scripting.Dictionary").
class Server : public oleaut::IDispatch {
 public:
  // Empties what it made, as the host empties what a page made when it
  // ends, then lets go of it.
  void ReleaseMade() {
    for (const auto& made : made_) dynamic_cast<oleaut::ValueHolder&>(*made).DropValues();
    made_.clear();
  }
  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override {
    if (oleaut::SameName(name, "CreateObject")) return 1;
    return std::nullopt;
  }
  Variant Invoke(oleaut::DISPID id, std::uint16_t, std::span<const Variant> args) override {
    if (id != 1 || args.size() != 1) oleaut::RaiseRuntimeError(oleaut::kWrongArgumentCount);
    if (!oleaut::SameName(oleaut::ToString(args[0]), "Scripting.Dictionary"))
      oleaut::RaiseRuntimeError(oleaut::kCannotCreateObject);
    made_.push_back(host::scripting::CreateDictionary());
    return oleaut::ObjectRef(made_.back());
  }

 private:
  std::vector<std::shared_ptr<oleaut::IDispatch>> made_;
};

void Run(const host::vbscript::Program& program) {
  const auto deadline = host::PageClock::now() + std::chrono::milliseconds(50);
  const memory::LimitScope memoryLimit(std::size_t{16} << 20);
  const host::DeadlineScope deadlineScope(deadline);
  const auto response = std::make_shared<Response>();
  const auto server = std::make_shared<Server>();
  host::vbscript::RunOptions options;
  options.objects = {{"Response", response}, {"Server", server}};
  options.deadline = deadline;
  options.ended = [&response] { return response->ended; };
  host::vbscript::RunProgram(program, options);
  server->ReleaseMade();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i)
    if (std::strcmp((*argv)[i], "--run") == 0) runPages = true;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  OneFile files(std::string(reinterpret_cast<const char*>(data), size));
  try {
    const auto program = host::vbscript::Compile(host::vbscript::TranslatePage("page.asp", files));
    if (runPages) Run(*program);
  } catch (const host::vbscript::CompileFailure&) {
  }
  return 0;
}
