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

// Raises 450: what a call of a built-in function with too few or too many
// arguments runs.
oleaut::Variant RaiseWrongArgumentCount(std::span<oleaut::Variant> args);

// The built-in function called `name` (folded); nullptr when there is none.
const BuiltinFunction* FindBuiltin(std::string_view name);
// The built-in constant called `name` (folded): vbCrLf, vbRed, vbString...
std::optional<oleaut::Variant> FindConstant(std::string_view name);
// The constant called `name` (folded) that an object library's type
// library brings (ADO's adOpenStatic...): unlike the language's own, a
// page that assigns to one makes a variable of that name.
std::optional<oleaut::Variant> FindLibraryConstant(std::string_view name);

// Whether `name` (folded) is a function of the language that this engine
// leaves out (the locale functions, GetObject, InputBox, MsgBox...).
bool IsRefused(std::string_view name);
// Eval, Execute, ExecuteGlobal or GetRef, by folded name.
std::optional<ScriptFunction> FindScriptFunction(std::string_view name);
bool IsRefused(std::string_view name);

// Whether `function` is a conversion to a number or a date (CInt, CCur...),
// whose result a page may not throw away: called as a statement, it raises
// 458 after converting.
bool IsNumericConversion(Builtin function);

// The type name of a value, as TypeName gives it.
std::string TypeNameOf(const oleaut::Variant& v);

}  // namespace kelvane::host::vbscript
