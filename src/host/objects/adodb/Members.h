#pragma once
// What the database objects share to describe and take their members:
// optional arguments, as ADO's methods have many.

#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::host::adodb {

struct MemberName {
  oleaut::DISPID id;
  std::string_view name;
  // A method, else a property. A collection's Item is described as a
  // method, so that a .ksp page can call it: fields:Item("name").
  bool method;
};

// The description of an interface with these members: clients learn from it
// which are methods.
inline oleaut::InterfaceDesc DescribeMembers(std::string_view name, std::initializer_list<MemberName> members) {
  oleaut::InterfaceDesc description{name, oleaut::GUID{}, 0, "IDispatch", {}};
  for (const auto& m : members) {
    description.functions.push_back(
        {m.id, m.name, m.method ? oleaut::DISPATCH_METHOD : oleaut::DISPATCH_PROPERTYGET, {}, oleaut::VarType::Variant});
  }
  return description;
}

// Argument `i`, or the missing argument when the call has fewer.
inline const oleaut::Variant& Arg(std::span<const oleaut::Variant> args, std::size_t i) {
  static const oleaut::Variant missing = oleaut::Variant::Missing();
  return i < args.size() ? args[i] : missing;
}

// Whether argument `i` was given.
inline bool Given(std::span<const oleaut::Variant> args, std::size_t i) {
  return i < args.size() && !args[i].IsMissing();
}

// 450 unless the call has `least` to `most` arguments.
inline void ExpectArgs(std::span<const oleaut::Variant> args, std::size_t least, std::size_t most) {
  if (args.size() < least || args.size() > most) oleaut::RaiseRuntimeError(oleaut::kWrongArgumentCount);
}

inline bool IsPut(std::uint16_t kind) {
  return (kind & (oleaut::DISPATCH_PROPERTYPUT | oleaut::DISPATCH_PROPERTYPUTREF)) != 0;
}

// The index of the item of a collection of `count` that `key` names: a
// name, matched to `nameOf(index)` without regard to case, or a 0-based
// ordinal; nullopt when there is no such item.
template <class NameOf>
std::optional<std::size_t> FindItem(const oleaut::Variant& key, std::size_t count, NameOf nameOf) {
  const oleaut::Variant value = oleaut::ValueOf(key);
  if (const auto* name = value.If<std::string>()) {
    for (std::size_t i = 0; i < count; ++i)
      if (oleaut::SameName(nameOf(i), *name)) return i;
    return std::nullopt;
  }
  const oleaut::Long ordinal = oleaut::VariantTo<oleaut::Long>(value);
  if (ordinal < 0 || static_cast<std::size_t>(ordinal) >= count) return std::nullopt;
  return static_cast<std::size_t>(ordinal);
}

}  // namespace kelvane::host::adodb
