#pragma once
// The automation variant: one value of any automation type. Strings and
// arrays are held as shared immutable values, so copying a variant never
// copies their bytes, never allocates and never fails.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
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

class Variant {
 public:
  struct NullValue {
    bool operator==(const NullValue&) const = default;
  };

  Variant() noexcept = default;  // Empty
  Variant(NullValue) noexcept : kind_(Kind::Null) {}
  Variant(Integer v) noexcept { SetNumber<Kind::Integer>(v); }
  Variant(Long v) noexcept { SetNumber<Kind::Long>(v); }
  Variant(Single v) noexcept { SetNumber<Kind::Single>(v); }
  Variant(double v) noexcept { SetNumber<Kind::Double>(v); }
  Variant(Date v) noexcept { SetNumber<Kind::Date>(v); }
  Variant(Currency v) noexcept { SetNumber<Kind::Currency>(v); }
  Variant(ErrorCode v) noexcept { SetNumber<Kind::Error>(v); }
  Variant(std::string v) { SetReference<Kind::String>(std::make_shared<const std::string>(std::move(v))); }
  Variant(const char* v) : Variant(std::string(v)) {}
  Variant(VariantBool v) noexcept { SetNumber<Kind::Boolean>(v); }
  Variant(Byte v) noexcept { SetNumber<Kind::Byte>(v); }
  Variant(ObjectRef v) noexcept { SetReference<Kind::Object>(std::move(v)); }
  Variant(ArrayRef v) noexcept { SetReference<Kind::Array>(std::move(v)); }
  Variant(bool) = delete;  // say VariantBool: a bool would pass for a number

  // A value without a reference is copied as its bytes; a reference is
  // copied as a reference count, which cannot fail.
  Variant(const Variant& other) noexcept : kind_(other.kind_) {
    if (HoldsReference()) CopyReference(other);
    else CopyNumber(other);
  }
  // Takes the value, leaving `other` Empty.
  Variant(Variant&& other) noexcept { Take(other); }
  Variant& operator=(const Variant& other) noexcept {
    if (this != &other) *this = Variant(other);
    return *this;
  }
  // The old value is let go of only once the new one is in place, for
  // letting go of an object may run script that reads this very variable.
  Variant& operator=(Variant&& other) noexcept {
    if (this == &other) return *this;
    if (HoldsReference()) {
      const Variant old(std::move(*this));
      return *this = std::move(other);
    }
    Take(other);
    return *this;
  }
  ~Variant() {
    if (!HoldsReference()) return;
    if (kind_ == Kind::String) std::destroy_at(&As<StringRef>());
    else ReleaseReference();
  }

  static Variant Null() { return Variant(NullValue{}); }
  static Variant Nothing() { return Variant(ObjectRef{}); }
  // The argument a call left out: an Error of DISP_E_PARAMNOTFOUND.
  static Variant Missing() { return Variant(ErrorCode{DISP_E_PARAMNOTFOUND}); }
  // A byte array with bounds lowerBound .. lowerBound + size - 1.
  static Variant ByteArray(std::vector<Byte> bytes, Long lowerBound);

  // The type code; arrays answer Array | element type.
  VarType Type() const {
    if (kind_ == Kind::Array) return ArrayType(As<ArrayRef>());
    return kTypes[static_cast<std::size_t>(kind_)];
  }

  bool IsEmpty() const { return kind_ == Kind::Empty; }
  bool IsNull() const { return kind_ == Kind::Null; }
  bool IsObject() const { return kind_ == Kind::Object; }
  bool IsString() const { return kind_ == Kind::String; }
  bool IsArray() const { return kind_ == Kind::Array; }
  bool IsMissing() const {
    return kind_ == Kind::Error && As<ErrorCode>().code == DISP_E_PARAMNOTFOUND;
  }

  // The stored value when it has type T, else nullptr; a string's text for
  // std::string.
  template <class T>
  const T* If() const {
    if constexpr (std::is_same_v<T, std::string>) {
      return kind_ == Kind::String ? As<StringRef>().get() : nullptr;
    } else {
      return kind_ == KindOf<T>() ? &As<T>() : nullptr;
    }
  }

  // Same type and equal value (objects by identity, arrays by content).
  bool operator==(const Variant& other) const;

 private:
  // What a variant holds; the kinds from String on hold a reference.
  enum class Kind : std::uint8_t {
    Empty, Null, Integer, Long, Single, Double, Boolean, Byte, Date, Currency, Error,
    String, Object, Array,
  };
  // The type code of each kind, in its order (arrays aside).
  static constexpr VarType kTypes[] = {
      VarType::Empty,   VarType::Null, VarType::Integer,  VarType::Long,  VarType::Single,
      VarType::Double,  VarType::Boolean, VarType::Byte,  VarType::Date,  VarType::Currency,
      VarType::Error,   VarType::String, VarType::Object, VarType::Array};
  static_assert(std::size(kTypes) == static_cast<std::size_t>(Kind::Array) + 1);

  template <class T>
  static constexpr Kind KindOf() {
    if constexpr (std::is_same_v<T, NullValue>) return Kind::Null;
    else if constexpr (std::is_same_v<T, Integer>) return Kind::Integer;
    else if constexpr (std::is_same_v<T, Long>) return Kind::Long;
    else if constexpr (std::is_same_v<T, Single>) return Kind::Single;
    else if constexpr (std::is_same_v<T, double>) return Kind::Double;
    else if constexpr (std::is_same_v<T, VariantBool>) return Kind::Boolean;
    else if constexpr (std::is_same_v<T, Byte>) return Kind::Byte;
    else if constexpr (std::is_same_v<T, Date>) return Kind::Date;
    else if constexpr (std::is_same_v<T, Currency>) return Kind::Currency;
    else if constexpr (std::is_same_v<T, ErrorCode>) return Kind::Error;
    else if constexpr (std::is_same_v<T, StringRef>) return Kind::String;
    else if constexpr (std::is_same_v<T, ObjectRef>) return Kind::Object;
    else {
      static_assert(std::is_same_v<T, ArrayRef>, "no variant holds this type");
      return Kind::Array;
    }
  }

  // Copies are plain reference counts: a copy made where memory is short
  // must not fail half-way and leave a variant that cannot be destroyed.
  static_assert(std::is_nothrow_copy_constructible_v<StringRef> &&
                std::is_nothrow_copy_constructible_v<ObjectRef> &&
                std::is_nothrow_copy_constructible_v<ArrayRef>);

  bool HoldsReference() const { return kind_ >= Kind::String; }

  template <class T>
  T& As() {
    return *std::launder(reinterpret_cast<T*>(storage_));
  }
  template <class T>
  const T& As() const {
    return *std::launder(reinterpret_cast<const T*>(storage_));
  }

  // A value without a reference is kept in the first word of the storage,
  // written and copied whole: a copy reads it as it was stored, which the
  // processor forwards from a store still in flight without a stall.
  template <Kind K, class T>
  void SetNumber(T value) noexcept {
    static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= sizeof(std::uint64_t));
    std::uint64_t word = 0;
    std::memcpy(&word, &value, sizeof value);
    std::memcpy(storage_, &word, sizeof word);
    kind_ = K;
  }
  void CopyNumber(const Variant& other) noexcept {
    std::memcpy(storage_, other.storage_, sizeof(std::uint64_t));
  }
  template <Kind K, class Ref>
  void SetReference(Ref&& ref) noexcept {
    std::construct_at(reinterpret_cast<std::remove_cvref_t<Ref>*>(storage_), std::forward<Ref>(ref));
    kind_ = K;
  }

  // Takes the value of `other`, which is left Empty; this holds none.
  void Take(Variant& other) noexcept {
    kind_ = other.kind_;
    if (HoldsReference()) MoveReference(other);
    else CopyNumber(other);
    other.kind_ = Kind::Empty;
  }
  void CopyReference(const Variant& other) noexcept {
    switch (kind_) {
      case Kind::String: std::construct_at(&As<StringRef>(), other.As<StringRef>()); break;
      case Kind::Object: std::construct_at(&As<ObjectRef>(), other.As<ObjectRef>()); break;
      default: std::construct_at(&As<ArrayRef>(), other.As<ArrayRef>()); break;
    }
  }
  // Moves the reference of `other`, which is left holding none.
  void MoveReference(Variant& other) noexcept {
    switch (kind_) {
      case Kind::String: Relocate<StringRef>(other); break;
      case Kind::Object: Relocate<ObjectRef>(other); break;
      default: Relocate<ArrayRef>(other); break;
    }
  }
  template <class Ref>
  void Relocate(Variant& other) noexcept {
    std::construct_at(&As<Ref>(), std::move(other.As<Ref>()));
    std::destroy_at(&other.As<Ref>());
  }

  static VarType ArrayType(const ArrayRef& array);
  // Lets go of the object or array held, without nesting deeper on the
  // stack than a fixed bound however deep the structure it ends is.
  void ReleaseReference() noexcept;

  // The value: one of the number types, or a StringRef, ObjectRef or ArrayRef.
  alignas(ArrayRef) std::byte storage_[sizeof(ArrayRef)]{};
  Kind kind_ = Kind::Empty;
};

}  // namespace kelvane::oleaut
