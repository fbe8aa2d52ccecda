#pragma once
// Late binding: objects that scripts reach by member name.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/oleaut/Variant.h"

namespace kelvane::oleaut {

using DISPID = std::int32_t;

struct InterfaceDesc;

// The member a conversion asks for when it needs an object's value.
constexpr DISPID DISPID_VALUE = 0;

// The member that gives an enumerator over a collection: an object that is
// an IEnumVARIANT.
constexpr DISPID DISPID_NEWENUM = -4;

// The members of a collection, one at a time.
class IEnumVARIANT : public IUnknown {
 public:
  // The next member; nullopt after the last.
  virtual std::optional<Variant> Next() = 0;
};

// An enumerator over values taken when it is made.
class ListEnumerator : public IEnumVARIANT {
 public:
  explicit ListEnumerator(std::vector<Variant> values) : values_(std::move(values)) {}
  std::optional<Variant> Next() override {
    if (at_ >= values_.size()) return std::nullopt;
    return std::move(values_[at_++]);
  }

 private:
  std::vector<Variant> values_;
  std::size_t at_ = 0;
};

// How a member is called; a script engine may combine METHOD and PROPERTYGET.
enum InvokeKind : std::uint16_t {
  DISPATCH_METHOD = 1,
  DISPATCH_PROPERTYGET = 2,
  DISPATCH_PROPERTYPUT = 4,
  DISPATCH_PROPERTYPUTREF = 8,
};

class IDispatch : public IUnknown {
 public:
  // The DISPID of a member, its name matched without regard to case;
  // nullopt when the object has no such member.
  virtual std::optional<DISPID> GetIDOfName(std::string_view name) const = 0;

  // Calls member `id` as `kind` with `args` in their natural order (for a
  // put, the value is the last argument). Failures raise AutomationError:
  // 438 for a member or accessor that does not exist, 450 for a wrong number
  // of arguments, the conversion's error for an argument of the wrong type.
  virtual Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) = 0;

  // The description of the interface, telling methods from properties;
  // nullptr when the object gives none.
  virtual const InterfaceDesc* GetTypeInfo() const { return nullptr; }
};

// An object that holds values, and through them perhaps other objects.
// When the page that made it ends, the host empties it, so that objects
// that hold each other, a reference cycle, are freed with the page.
class ValueHolder {
 public:
  virtual ~ValueHolder() = default;
  // Lets go of every value held; the object stays usable, as if new.
  virtual void DropValues() noexcept = 0;
};

// An ASCII capital in lower case; any other byte as it is.
constexpr char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A name with its ASCII capitals in lower case: the key under which names
// that differ only in case are one.
std::string FoldCase(std::string_view name);

// Whether two member names are the same, without regard to case.
bool SameName(std::string_view a, std::string_view b);

// Resolves `name` and invokes it; 438 when the object has no such member.
Variant InvokeByName(IDispatch& object, std::string_view name, std::uint16_t kind,
                     std::span<const Variant> args);

}  // namespace kelvane::oleaut
