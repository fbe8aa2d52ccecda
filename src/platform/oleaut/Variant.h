#pragma once
// The automation variant: one value of any automation type. Strings and
// arrays are held as shared immutable values, so copying a variant never
// copies their bytes, never allocates and never fails.

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/oleaut/Numbers.h"

namespace kelvane::oleaut {

// Variant type codes, numbered as automation numbers them.
enum class VarType : std::uint16_t {
  Empty = 0,
  Null = 1,
  Integer = 2,
  Long = 3,
  Single = 4,
  Double = 5,
  Currency = 6,
  Date = 7,
  String = 8,
  Object = 9,
  Error = 10,
  Boolean = 11,
  Variant = 12,
  Byte = 17,
  Void = 24,
  Record = 36,
  Array = 0x2000,  // flag: an array of the element type in the low bits
};

// The automation Boolean: 16 bits, True = -1, False = 0.
enum class VariantBool : std::int16_t { False = 0, True = -1 };

constexpr VariantBool ToVariantBool(bool b) { return b ? VariantBool::True : VariantBool::False; }
constexpr bool IsTrue(VariantBool b) { return b != VariantBool::False; }

// Base of every object a variant can refer to. Asking an object for another
// of its interfaces is a dynamic_pointer_cast.
class IUnknown {
 public:
  virtual ~IUnknown() = default;
};

using ObjectRef = std::shared_ptr<IUnknown>;

class Variant;

// A one-dimensional array with a lower bound. Byte arrays keep their bytes
// packed; arrays of any other element type hold variants.
struct SafeArray {
  VarType elementType = VarType::Variant;
  Long lowerBound = 0;
  std::vector<Byte> bytes;        // when elementType is Byte
  std::vector<Variant> elements;  // otherwise
  // The size of each dimension of an array of several, the first index
  // running fastest (each starts at lowerBound); empty for one dimension.
  std::vector<std::size_t> shape;

  std::size_t Count() const;
  std::size_t Dimensions() const { return shape.empty() ? 1 : shape.size(); }
  // The size of dimension `d` (0-based).
  std::size_t Extent(std::size_t d) const { return shape.empty() ? Count() : shape[d]; }
};

using ArrayRef = std::shared_ptr<const SafeArray>;
// A string variant's text, shared by every copy of the variant.
using StringRef = std::shared_ptr<const std::string>;

// A point in time: days since 1899-12-30 00:00, the time of day as the
// fraction (its magnitude, for days before that date).
struct Date {
  double days = 0.0;
  bool operator==(const Date&) const = default;
};

// A fixed-point amount: the value times 10,000 in 64 bits, so four decimal
// places are exact.
struct Currency {
  std::int64_t scaled = 0;
  static constexpr std::int64_t kScale = 10'000;
  bool operator==(const Currency&) const = default;
};

// An error code as a value. The one a page meets is DISP_E_PARAMNOTFOUND:
// the argument left out of a call.
struct ErrorCode {
  std::int32_t code = 0;
  bool operator==(const ErrorCode&) const = default;
};

inline constexpr std::int32_t DISP_E_PARAMNOTFOUND = static_cast<std::int32_t>(0x80020004u);

// Whether copying any alternative of the std::variant V never throws.
template <class V>
inline constexpr bool kCopiesNeverFail = false;
template <class... T>
inline constexpr bool kCopiesNeverFail<std::variant<T...>> = (std::is_nothrow_copy_constructible_v<T> && ...);

class Variant {
 public:
  struct NullValue {
    bool operator==(const NullValue&) const = default;
  };

  Variant() = default;  // Empty
  Variant(NullValue) : value_(NullValue{}) {}
  Variant(Integer v) : value_(v) {}
  Variant(Long v) : value_(v) {}
  Variant(Single v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(Date v) : value_(v) {}
  Variant(Currency v) : value_(v) {}
  Variant(ErrorCode v) : value_(v) {}
  Variant(std::string v) : value_(std::make_shared<const std::string>(std::move(v))) {}
  Variant(const char* v) : Variant(std::string(v)) {}
  Variant(VariantBool v) : value_(v) {}
  Variant(Byte v) : value_(v) {}
  Variant(ObjectRef v) : value_(std::move(v)) {}
  Variant(ArrayRef v) : value_(std::move(v)) {}
  Variant(bool) = delete;  // say VariantBool: a bool would pass for a number

  Variant(const Variant&) = default;
  Variant(Variant&&) noexcept = default;
  Variant& operator=(const Variant&) = default;
  Variant& operator=(Variant&&) noexcept = default;
  ~Variant() {
    if (value_.index() == kObjectIndex || value_.index() == kArrayIndex) ReleaseReference();
  }

  static Variant Null() { return Variant(NullValue{}); }
  static Variant Nothing() { return Variant(ObjectRef{}); }
  // The argument a call left out: an Error of DISP_E_PARAMNOTFOUND.
  static Variant Missing() { return Variant(ErrorCode{DISP_E_PARAMNOTFOUND}); }
  // A byte array with bounds lowerBound .. lowerBound + size - 1.
  static Variant ByteArray(std::vector<Byte> bytes, Long lowerBound);

  // The type code; arrays answer Array | element type.
  VarType Type() const {
    if (const auto* array = std::get_if<ArrayRef>(&value_)) return ArrayType(*array);
    return kTypes[value_.index()];
  }

  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  bool IsNull() const { return std::holds_alternative<NullValue>(value_); }
  bool IsObject() const { return std::holds_alternative<ObjectRef>(value_); }
  bool IsString() const { return std::holds_alternative<StringRef>(value_); }
  bool IsArray() const { return std::holds_alternative<ArrayRef>(value_); }
  bool IsMissing() const {
    const auto* error = std::get_if<ErrorCode>(&value_);
    return error != nullptr && error->code == DISP_E_PARAMNOTFOUND;
  }

  // The stored value when it has type T, else nullptr; a string's text for
  // std::string.
  template <class T>
  const T* If() const {
    if constexpr (std::is_same_v<T, std::string>) {
      const auto* text = std::get_if<StringRef>(&value_);
      return text != nullptr ? text->get() : nullptr;
    } else {
      return std::get_if<T>(&value_);
    }
  }

  // Same type and equal value (objects by identity, arrays by content).
  bool operator==(const Variant& other) const;

 private:
  static VarType ArrayType(const ArrayRef& array);
  // Lets go of the object or array held, without nesting deeper on the
  // stack than a fixed bound however deep the structure it ends is.
  void ReleaseReference() noexcept;

  using Value = std::variant<std::monostate, NullValue, Integer, Long, Single, double, StringRef,
                             VariantBool, Byte, ObjectRef, ArrayRef, Date, Currency, ErrorCode>;
  // The type code of each alternative of Value, in its order (arrays aside).
  static constexpr VarType kTypes[] = {VarType::Empty,  VarType::Null,    VarType::Integer,
                                       VarType::Long,   VarType::Single,  VarType::Double,
                                       VarType::String, VarType::Boolean, VarType::Byte,
                                       VarType::Object, VarType::Array,   VarType::Date,
                                       VarType::Currency, VarType::Error};
  static_assert(std::size(kTypes) == std::variant_size_v<Value>);
  static constexpr std::size_t kObjectIndex = 9;
  static constexpr std::size_t kArrayIndex = 10;
  static_assert(std::is_same_v<std::variant_alternative_t<kObjectIndex, Value>, ObjectRef> &&
                std::is_same_v<std::variant_alternative_t<kArrayIndex, Value>, ArrayRef>);
  // Copies are plain reference counts: a copy made where memory is short
  // must not fail half-way and leave a variant that cannot be destroyed.
  static_assert(kCopiesNeverFail<Value>);

  Value value_;
};

}  // namespace kelvane::oleaut
