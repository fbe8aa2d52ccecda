#include "platform/oleaut/Variant.h"

namespace kelvane::oleaut {

std::size_t SafeArray::Count() const {
  return elementType == VarType::Byte ? bytes.size() : elements.size();
}

Variant Variant::ByteArray(std::vector<Byte> bytes, Long lowerBound) {
  auto array = std::make_shared<SafeArray>();
  array->elementType = VarType::Byte;
  array->lowerBound = lowerBound;
  array->bytes = std::move(bytes);
  return Variant(ArrayRef(std::move(array)));
}

VarType Variant::ArrayType(const ArrayRef& array) {
  const auto element = array ? array->elementType : VarType::Variant;
  return static_cast<VarType>(static_cast<std::uint16_t>(VarType::Array) |
                              static_cast<std::uint16_t>(element));
}

bool Variant::operator==(const Variant& other) const {
  if (value_.index() != other.value_.index()) return false;
  if (const auto* a = If<ArrayRef>()) {
    const auto& b = *other.If<ArrayRef>();
    if (!*a || !b) return *a == b;
    return (*a)->elementType == b->elementType && (*a)->lowerBound == b->lowerBound &&
           (*a)->bytes == b->bytes && (*a)->elements == b->elements && (*a)->shape == b->shape;
  }
  return value_ == other.value_;
}

}  // namespace kelvane::oleaut
