#pragma once
// What tests of automation code share: the error a call raises, objects with
// a value member, and readable variants in failure messages.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <utility>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::oleaut {

// Failure messages show a variant's type code and, where it has one, its text.
inline void PrintTo(const Variant& v, std::ostream* os) {
  *os << "VarType " << static_cast<int>(v.Type());
  if (!v.IsNull() && !v.IsArray() && !v.IsObject()) *os << " \"" << ToString(v) << '"';
}

// The number of the automation error that `call` raises; 0 when it raises none.
template <class Call>
int ErrorOf(Call&& call) {
  try {
    std::forward<Call>(call)();
  } catch (const AutomationError& e) {
    return e.Number();
  }
  return 0;
}

// An object whose value member gives `value`, or raises `error` when that is
// not 0; every other call raises 438.
class ValueObject : public IDispatch {
 public:
  explicit ValueObject(Variant value, std::int32_t error = 0)
      : value_(std::move(value)), error_(error) {}
  std::optional<DISPID> GetIDOfName(std::string_view) const override { return std::nullopt; }
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (id != DISPID_VALUE || kind != DISPATCH_PROPERTYGET || !args.empty())
      RaiseRuntimeError(kMemberNotFound);
    if (error_ != 0) RaiseRuntimeError(error_);
    return value_;
  }

 private:
  Variant value_;
  std::int32_t error_;
};

inline Variant Valued(Variant value) {
  return ObjectRef(std::make_shared<ValueObject>(std::move(value)));
}

}  // namespace kelvane::oleaut
