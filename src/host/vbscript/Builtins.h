#pragma once
// The functions and constants a page finds built in.

#include <optional>
#include <string_view>

#include "host/vbscript/Program.h"

namespace kelvane::host::vbscript {

struct BuiltinFunction {
  std::string_view name;  // folded
  Builtin function;
  int minArgs;
  int maxArgs;
};

// The built-in function called `name` (folded); nullptr when there is none.
const BuiltinFunction* FindBuiltin(std::string_view name);
// The built-in constant called `name` (folded): vbCrLf, vbRed, vbString...
std::optional<oleaut::Variant> FindConstant(std::string_view name);

// Whether `name` (folded) is a function of the language that this engine
// leaves out (Eval, Execute, GetRef, currency and locale functions...).
// Eval, Execute, ExecuteGlobal or GetRef, by folded name.
std::optional<ScriptFunction> FindScriptFunction(std::string_view name);
bool IsRefused(std::string_view name);

// The type name of a value, as TypeName gives it.
std::string TypeNameOf(const oleaut::Variant& v);

}  // namespace kelvane::host::vbscript
