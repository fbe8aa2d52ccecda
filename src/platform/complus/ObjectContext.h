#pragma once
// The context a component object runs in while it serves one request, and
// the calls by which the host activates and deactivates such objects.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/oleaut/Variant.h"

namespace kelvane::complus {

class ObjectContext : public oleaut::IUnknown {
 public:
  // The named intrinsic object ("Response", "Request", "Server"), the name
  // matched without regard to case; Empty when the context has none.
  oleaut::Variant get_Item(std::string_view name) const;
  // Sets or replaces a named item; the host fills the context this way.
  void SetItem(std::string name, oleaut::Variant value);

 private:
  std::vector<std::pair<std::string, oleaut::Variant>> items_;
};

using ObjectContextRef = std::shared_ptr<ObjectContext>;

// The calling thread's current context; nullptr outside a request.
ObjectContextRef GetObjectContext();

// Makes `context` the thread's current one for the scope's lifetime.
class ContextScope {
 public:
  explicit ContextScope(ObjectContextRef context);
  ~ContextScope();
  ContextScope(const ContextScope&) = delete;
  ContextScope& operator=(const ContextScope&) = delete;

 private:
  ObjectContextRef previous_;
};

// What a pooled-or-not component implements so that the host can hand it
// its context: Activate before first use in a context, Deactivate after.
class ObjectControl {
 public:
  virtual ~ObjectControl() = default;
  virtual void Activate() = 0;
  virtual void Deactivate() = 0;
  virtual oleaut::VariantBool CanBePooled() = 0;
};

}  // namespace kelvane::complus
