#pragma once
// ADO's named constants (adOpenStatic, adLockOptimistic, adCmdText,
// adVarChar, ...), which pages find built in as the type library gave them
// to pages on the original server; adovbs.inc's own Const lines still
// compile.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kelvane::host::adodb {

struct AdoConstant {
  std::string_view name;  // as ADO spells it
  std::int32_t value;
};

// The value of the constant called `name`, in any letter case; nullopt for
// a name that is no ADO constant.
std::optional<std::int32_t> FindAdoConstant(std::string_view name);

// Every constant, for a language that defines them all by name.
std::span<const AdoConstant> AdoConstants();

}  // namespace kelvane::host::adodb
