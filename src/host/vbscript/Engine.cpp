#include "host/vbscript/Engine.h"

#include <new>

#include "host/pages/PageDeadline.h"
#include "host/vbscript/Compiler.h"
#include "host/vbscript/Runtime.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host::vbscript {

namespace {

ScriptError Located(const Program& program, const Runtime& runtime, ScriptError error) {
  const auto line = static_cast<std::size_t>(runtime.CurrentLine());
  const auto& lines = program.script.lines;
  if (line >= 1 && line <= lines.size()) {
    const LineOrigin origin = lines[line - 1];
    if (origin.file < program.script.files.size()) error.file = program.script.files[origin.file];
    error.line = static_cast<int>(origin.line);
  }
  return error;
}

}  // namespace

std::shared_ptr<const Program> CompilePage(const std::string& path, PageFiles& files) {
  return Compile(TranslatePage(path, files));
}

std::optional<ScriptError> RunProgram(const Program& program, const RunOptions& options) {
  std::shared_ptr<Runtime> runtime;
  std::optional<ScriptError> error;
  try {
    runtime = std::make_shared<Runtime>(program, options);
    runtime->RunMain();
  } catch (const oleaut::AutomationError& e) {
    error = Located(program, *runtime, {e.Number(), e.Source(), e.Description(), {}, 0});
  } catch (const PageStop&) {
    // The page ended itself: a success.
  } catch (const PageTimeout& timeout) {
    error = Located(program, *runtime, {0, kRuntimeSource, timeout.what(), {}, 0, true});
  } catch (const std::bad_alloc&) {
    error = ScriptError{oleaut::kOutOfMemory, kRuntimeSource,
                        oleaut::RuntimeErrorText(oleaut::kOutOfMemory), {}, 0};
    if (runtime) error = Located(program, *runtime, *error);
  } catch (const std::exception& e) {
    // Anything else the C++ library refuses (a length beyond its limits).
    error = ScriptError{oleaut::kInvalidProcedureCall, kRuntimeSource, e.what(), {}, 0};
    if (runtime) error = Located(program, *runtime, *error);
  }
  if (runtime) {
    runtime->ReleaseAll();
    if (!error && runtime->TerminatorTimedOut())
      error = ScriptError{0, kRuntimeSource, PageTimeout().what(), {}, 0, true};
  }
  return error;
}

}  // namespace kelvane::host::vbscript
