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

}  // namespace kelvane::host::vbscript
