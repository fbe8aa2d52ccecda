#include "platform/complus/ObjectContext.h"

#include <algorithm>
#include <strings.h>

namespace kelvane::complus {

namespace {

thread_local ObjectContextRef currentContext;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

oleaut::Variant ObjectContext::get_Item(std::string_view name) const {
  const auto it = std::find_if(items_.begin(), items_.end(),
                               [&](const auto& item) { return SameName(item.first, name); });
  return it == items_.end() ? oleaut::Variant() : it->second;
}

void ObjectContext::SetItem(std::string name, oleaut::Variant value) {
  const auto it = std::find_if(items_.begin(), items_.end(),
                               [&](const auto& item) { return SameName(item.first, name); });
  if (it != items_.end()) {
    it->second = std::move(value);
  } else {
    items_.emplace_back(std::move(name), std::move(value));
  }
}

ObjectContextRef GetObjectContext() { return currentContext; }

ContextScope::ContextScope(ObjectContextRef context)
    : previous_(std::exchange(currentContext, std::move(context))) {}

ContextScope::~ContextScope() { currentContext = std::move(previous_); }

}  // namespace kelvane::complus
