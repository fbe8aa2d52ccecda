#pragma once
// Compiles a translated page into its Program: parses the statements, then
// resolves every name to a slot, a procedure, a built-in or a constant.

#include <memory>

#include "host/vbscript/AspTranslator.h"
#include "host/vbscript/Program.h"

namespace kelvane::host::vbscript {

// The host's objects a page may use without declaring them, as globals.
inline constexpr std::string_view kIntrinsicNames[] = {"response", "request", "server", "session",
                                                       "application", "err"};

// Raises CompileFailure, with the page file and line, for a page that is not
// valid VBScript or uses a part of the language this engine refuses.
std::shared_ptr<const Program> Compile(TranslatedScript script);

// Where code compiled while a page runs stands: the page, and the procedure
// and class whose code calls Eval or Execute (none for ExecuteGlobal).
struct EnclosingScope {
  const Program* page = nullptr;
  // The program that `procedure` and `classIndex` belong to: the page, or
  // code compiled earlier while it runs.
  const Program* unit = nullptr;
  const Procedure* procedure = nullptr;
  std::int32_t classIndex = -1;  // Me's class, numbered as in `unit`
  int line = 0;                  // the calling statement's line, which the code takes
};

enum class DynamicCode : std::uint8_t { Expression, Statements };

// Compiles `text`, an expression (Eval) or statements and definitions
// (Execute, ExecuteGlobal), so that it sees the names of `scope`; names it
// cannot place there are found by name when it runs. Raises CompileFailure.
std::shared_ptr<const Program> CompileDynamic(std::string_view text, DynamicCode kind,
                                              const EnclosingScope& scope);

// The class `index` of code running in `unit` of `page`.
inline const ClassInfo& ClassAt(const Program& page, const Program& unit, std::int32_t index) {
  return static_cast<std::size_t>(index) < page.classes.size()
             ? page.classes[static_cast<std::size_t>(index)]
             : unit.classes[static_cast<std::size_t>(index - unit.classBase)];
}

// The procedure `index` of code running in `unit` of `page`.
inline const Procedure& ProcedureAt(const Program& page, const Program& unit, std::int32_t index) {
  return static_cast<std::size_t>(index) < page.procedures.size()
             ? page.procedures[static_cast<std::size_t>(index)]
             : unit.procedures[static_cast<std::size_t>(index - unit.procedureBase)];
}

}  // namespace kelvane::host::vbscript
