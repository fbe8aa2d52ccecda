#include "platform/oleaut/Variant.h"

#include <new>

namespace kelvane::oleaut {

namespace {

// Releases nest this deep on the stack at most; the last reference to a
// structure deeper than this (an array in an array in ... , a chain of
// objects) is let go of later, from the outermost release, one level of
// nesting at a time instead of one stack frame each. Deeper than a script's
// calls may nest, so that terminators that make objects that terminate
// meet the call depth limit first.
constexpr unsigned kDeepestRelease = 512;

thread_local unsigned releaseDepth = 0;
// What a release at the bound left for the outermost one.
thread_local std::vector<std::shared_ptr<const void>> deferredReleases;

}  // namespace

void Variant::ReleaseReference() noexcept {
  std::shared_ptr<const void> held;
  if (auto* object = std::get_if<ObjectRef>(&value_)) held = std::move(*object);
  else held = std::move(*std::get_if<ArrayRef>(&value_));
  if (releaseDepth >= kDeepestRelease && held.use_count() == 1) {
    try {
      deferredReleases.push_back(std::move(held));
      return;
    } catch (const std::bad_alloc&) {
      // No room to defer it: released here, one level deeper.
    }
  }
  ++releaseDepth;
  held.reset();
  if (releaseDepth == 1) {
    while (!deferredReleases.empty()) {
      const std::shared_ptr<const void> next = std::move(deferredReleases.back());
      deferredReleases.pop_back();
    }
  }
  --releaseDepth;
}

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
  if (const auto* a = If<std::string>()) return *a == *other.If<std::string>();
  return value_ == other.value_;
}

}  // namespace kelvane::oleaut
