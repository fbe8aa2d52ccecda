#pragma once
// Runs VBScript snippets and pages in tests: a fake Response collects what
// they write, files come from a map.

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/objects/scripting/Dictionary.h"
#include "host/vbscript/Engine.h"
#include "host/vbscript/RegExp.h"
#include "platform/complus/ObjectContext.h"
#include "server/ClassFactory.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::vbscript::testing {

// A Response with Write and End.
class FakeResponse : public oleaut::IDispatch {
 public:
  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override {
    std::string folded(name);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (folded == "write") return 1;
    if (folded == "end") return 2;
    return std::nullopt;
  }
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t, std::span<const oleaut::Variant> args) override {
    if (id == 1 && args.size() == 1) {
      if (!args[0].IsNull()) output += oleaut::ToString(args[0]);
      return {};
    }
    if (id == 2 && args.empty()) {
      ended = true;
      return {};
    }
    oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
  }
  std::string output;
  bool ended = false;
};

// A Server whose CreateObject makes dictionaries and, through the class
// registry, components, activated in the context current at the call.
class FakeServer : public oleaut::IDispatch {
 public:
  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override {
    std::string folded(name);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (folded == "createobject") return 1;
    return std::nullopt;
  }
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t, std::span<const oleaut::Variant> args) override {
    if (id != 1 || args.size() != 1) oleaut::RaiseRuntimeError(oleaut::kWrongArgumentCount);
    const std::string progID = oleaut::ToString(args[0]);
    if (oleaut::FoldCase(progID) == "scripting.dictionary") return oleaut::ObjectRef(scripting::CreateDictionary());
    if (oleaut::FoldCase(progID) == "vbscript.regexp") return oleaut::ObjectRef(CreateRegExp());
    auto object = server::CreateObject(progID);
    if (auto* control = dynamic_cast<complus::ObjectControl*>(object.get())) control->Activate();
    return oleaut::ObjectRef(object);
  }
};

using MapFiles = MemoryFiles;

struct Outcome {
  std::string output;
  std::optional<ScriptError> error;  // a compile or run error
  bool compiled = true;
};

// Runs the page "page.asp" of `files` with a fake Response and `objects`.
inline Outcome RunFiles(std::map<std::string, std::string> files,
                        std::vector<std::pair<std::string, oleaut::ObjectRef>> objects = {},
                        std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  Outcome outcome;
  MapFiles reader(std::move(files));
  std::shared_ptr<const Program> program;
  try {
    program = CompilePage("page.asp", reader);
  } catch (const CompileFailure& failure) {
    outcome.error = failure.Error();
    outcome.compiled = false;
    return outcome;
  }
  auto response = std::make_shared<FakeResponse>();
  RunOptions options;
  options.objects = std::move(objects);
  options.objects.emplace_back("Response", response);
  options.deadline = std::chrono::steady_clock::now() + limit;
  options.ended = [&] { return response->ended; };
  outcome.error = RunProgram(*program, options);
  outcome.output = response->output;
  return outcome;
}

// Runs `code` as the one script block of a page.
inline Outcome RunCode(std::string_view code,
                       std::vector<std::pair<std::string, oleaut::ObjectRef>> objects = {}) {
  return RunFiles({{"page.asp", "<%" + std::string(code) + "%>"}}, std::move(objects));
}

// What `code` writes, or "error N" for the error it raises.
inline std::string Result(std::string_view code) {
  const Outcome outcome = RunCode(code);
  if (outcome.error) return "error " + std::to_string(outcome.error->number);
  return outcome.output;
}

}  // namespace kelvane::host::vbscript::testing
