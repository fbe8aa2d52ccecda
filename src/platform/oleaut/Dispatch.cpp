#include "platform/oleaut/Dispatch.h"

#include <algorithm>
#include <string>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/DispatchTable.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::oleaut {

Variant InvokeByName(IDispatch& object, std::string_view name, std::uint16_t kind,
                     std::span<const Variant> args) {
  const auto id = object.GetIDOfName(name);
  if (!id) RaiseRuntimeError(kMemberNotFound);
  return object.Invoke(*id, kind, args);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldChar(x) == FoldChar(y); });
}

std::optional<DISPID> FindMember(const InterfaceDesc& desc, std::string_view name) {
  for (const auto& f : desc.functions)
    if (SameName(f.name, name)) return f.id;
  return std::nullopt;
}

std::string FoldCase(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldChar(c);
  return folded;
}

}  // namespace kelvane::oleaut
