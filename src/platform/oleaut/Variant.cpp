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

// One thread's releases, held together so that a release finds them at one
// lookup of the thread's storage.
struct Releases {
  unsigned depth = 0;
  // What a release at the bound left for the outermost one.
  std::vector<std::shared_ptr<const void>> deferred;
};

thread_local Releases releases;

}  // namespace

void Variant::ReleaseReference() noexcept {
  std::shared_ptr<const void> held;
  if (kind_ == Kind::Object) {
    held = std::move(As<ObjectRef>());
    std::destroy_at(&As<ObjectRef>());
  } else {
    held = std::move(As<ArrayRef>());
    std::destroy_at(&As<ArrayRef>());
  }
  kind_ = Kind::Empty;
  Releases& thread = releases;
  if (thread.depth >= kDeepestRelease && held.use_count() == 1) {
    try {
      thread.deferred.push_back(std::move(held));
      return;
    } catch (const std::bad_alloc&) {
      // No room to defer it: released here, one level deeper.
    }
  }
  ++thread.depth;
  held.reset();
  if (thread.depth == 1) {
    while (!thread.deferred.empty()) {
      const std::shared_ptr<const void> next = std::move(thread.deferred.back());
      thread.deferred.pop_back();
    }
  }
  --thread.depth;
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
  if (kind_ != other.kind_) return false;
  const auto same = [&]<class T>(const T*) { return As<T>() == other.As<T>(); };
  switch (kind_) {
    case Kind::Empty:
    case Kind::Null: return true;
    case Kind::Integer: return same(If<Integer>());
    case Kind::Long: return same(If<Long>());
    case Kind::Single: return same(If<Single>());
    case Kind::Double: return same(If<double>());
    case Kind::Boolean: return same(If<VariantBool>());
    case Kind::Byte: return same(If<Byte>());
    case Kind::Date: return same(If<Date>());
    case Kind::Currency: return same(If<Currency>());
    case Kind::Error: return same(If<ErrorCode>());
    case Kind::String: return *If<std::string>() == *other.If<std::string>();
    case Kind::Object: return same(If<ObjectRef>());
    case Kind::Array: break;
  }
  const ArrayRef& a = As<ArrayRef>();
  const ArrayRef& b = other.As<ArrayRef>();
  if (!a || !b) return a == b;
  return a->elementType == b->elementType && a->lowerBound == b->lowerBound && a->bytes == b->bytes &&
         a->elements == b->elements && a->shape == b->shape;
}

}  // namespace kelvane::oleaut
