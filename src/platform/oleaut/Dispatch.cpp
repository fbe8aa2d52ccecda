#include "platform/oleaut/Dispatch.h"

#include <cctype>
#include <string>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::oleaut {

Variant InvokeByName(IDispatch& object, std::string_view name, std::uint16_t kind,
                     std::span<const Variant> args) {
  const auto id = object.GetIDOfName(name);
  if (!id) RaiseRuntimeError(kMemberNotFound);
  return object.Invoke(*id, kind, args);
}

namespace detail {

std::string FoldCase(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

}  // namespace detail

}  // namespace kelvane::oleaut
