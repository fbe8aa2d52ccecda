#include "host/pages/SessionForm.h"

#include <bit>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "host/pages/SiteState.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host {

namespace {

using oleaut::ArrayRef;
using oleaut::SafeArray;
using oleaut::Variant;
using oleaut::VarType;

// "KS" and the version of the form; a reader takes its own version only.
constexpr std::string_view kMagic = "KS\x01";
constexpr std::uint16_t kArrayFlag = static_cast<std::uint16_t>(VarType::Array);

class Writer {
 public:
  explicit Writer(std::size_t most) : most_(most) {}

  template <class T>
  void Fixed(T value) {
    std::uint64_t bits;
    if constexpr (std::is_same_v<T, double>)
      bits = std::bit_cast<std::uint64_t>(value);
    else if constexpr (std::is_same_v<T, float>)
      bits = std::bit_cast<std::uint32_t>(value);
    else
      bits = static_cast<std::make_unsigned_t<T>>(value);
    char bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<char>(bits >> (8 * i));
    Append({bytes, sizeof(T)});
  }

  // Seven bits a byte, the lowest first; the top bit tells that more follow.
  void Count(std::uint64_t count) {
    char bytes[10];
    std::size_t n = 0;
    do {
      bytes[n++] = static_cast<char>((count & 0x7F) | (count > 0x7F ? 0x80 : 0));
      count >>= 7;
    } while (count != 0);
    Append({bytes, n});
  }

  void Text(std::string_view text) {
    Count(text.size());
    Append(text);
  }

  void Append(std::string_view bytes) {
    if (bytes.size() > most_ - out_.size()) oleaut::RaiseRuntimeError(oleaut::kOutOfMemory);
    out_ += bytes;
  }

  void Value(const Variant& value) {
    const VarType type = value.Type();
    Fixed(static_cast<std::uint16_t>(type));
    if (const auto* array = value.If<ArrayRef>()) return Array(*array);
    switch (type) {
      case VarType::Empty:
      case VarType::Null: return;
      case VarType::Integer: return Fixed(*value.If<oleaut::Integer>());
      case VarType::Long: return Fixed(*value.If<oleaut::Long>());
      case VarType::Single: return Fixed(*value.If<oleaut::Single>());
      case VarType::Double: return Fixed(*value.If<double>());
      case VarType::Currency: return Fixed(value.If<oleaut::Currency>()->scaled);
      case VarType::Date: return Fixed(value.If<oleaut::Date>()->days);
      case VarType::String: return Text(*value.If<std::string>());
      case VarType::Boolean: return Fixed(static_cast<std::uint8_t>(oleaut::IsTrue(*value.If<oleaut::VariantBool>())));
      case VarType::Byte: return Fixed(*value.If<oleaut::Byte>());
      case VarType::Error: return Fixed(value.If<oleaut::ErrorCode>()->code);
      default: oleaut::RaiseRuntimeError(oleaut::kTypeMismatch);  // objects never reach a session
    }
  }

  std::string Take() { return std::move(out_); }

 private:
  // Dimensions (0: an array not yet sized), lower bound, extents, elements.
  void Array(const ArrayRef& array) {
    if (!array) return Fixed(std::uint8_t{0});
    Fixed(static_cast<std::uint8_t>(array->Dimensions()));
    Fixed(array->lowerBound);
    for (std::size_t d = 0; d < array->Dimensions(); ++d) Count(array->Extent(d));
    if (array->elementType == VarType::Byte)
      return Append({reinterpret_cast<const char*>(array->bytes.data()), array->bytes.size()});
    for (const Variant& element : array->elements) Value(element);
  }

  const std::size_t most_;
  std::string out_;
};

// What a damaged or foreign form throws inside the reader.
struct Unreadable {};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}

  template <class T>
  T Fixed() {
    const std::string_view bytes = Take(sizeof(T));
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) bits |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    if constexpr (std::is_same_v<T, double>)
      return std::bit_cast<double>(bits);
    else if constexpr (std::is_same_v<T, float>)
      return std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    else
      return static_cast<T>(static_cast<std::make_unsigned_t<T>>(bits));
  }

  std::uint64_t Count() {
    std::uint64_t count = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const auto byte = Fixed<std::uint8_t>();
      count |= std::uint64_t{byte & 0x7Fu} << shift;
      if ((byte & 0x80) == 0) return count;
    }
    throw Unreadable{};
  }

  std::string_view Take(std::uint64_t size) {
    if (size > in_.size() - at_) throw Unreadable{};
    const std::string_view bytes = in_.substr(at_, size);
    at_ += size;
    return bytes;
  }

  std::string Text() { return std::string(Take(Count())); }

  Variant Value(std::size_t depth) {
    const auto type = Fixed<std::uint16_t>();
    if (type & kArrayFlag) return Array(static_cast<VarType>(type & ~kArrayFlag), depth);
    switch (static_cast<VarType>(type)) {
      case VarType::Empty: return {};
      case VarType::Null: return Variant::Null();
      case VarType::Integer: return Fixed<oleaut::Integer>();
      case VarType::Long: return Fixed<oleaut::Long>();
      case VarType::Single: return Fixed<float>();
      case VarType::Double: return Fixed<double>();
      case VarType::Currency: return oleaut::Currency{Fixed<std::int64_t>()};
      case VarType::Date: return oleaut::Date{Fixed<double>()};
      case VarType::String: return Text();
      case VarType::Boolean:
        switch (Fixed<std::uint8_t>()) {
          case 0: return oleaut::VariantBool::False;
          case 1: return oleaut::VariantBool::True;
          default: throw Unreadable{};
        }
      case VarType::Byte: return Fixed<oleaut::Byte>();
      case VarType::Error: return oleaut::ErrorCode{Fixed<std::int32_t>()};
      default: throw Unreadable{};
    }
  }

  bool AtEnd() const { return at_ == in_.size(); }

 private:
  Variant Array(VarType elementType, std::size_t depth) {
    if (depth >= SharedValues::kDeepestArrays) throw Unreadable{};
    switch (elementType) {
      case VarType::Variant: case VarType::Integer: case VarType::Long: case VarType::Single:
      case VarType::Double: case VarType::Currency: case VarType::Date: case VarType::String:
      case VarType::Boolean: case VarType::Byte: case VarType::Error: break;
      default: throw Unreadable{};
    }
    const auto dimensions = Fixed<std::uint8_t>();
    if (dimensions == 0) return ArrayRef{};
    auto array = std::make_shared<SafeArray>();
    array->elementType = elementType;
    array->lowerBound = Fixed<oleaut::Long>();
    // Each element takes a byte at least: a count beyond what is left is a lie.
    std::uint64_t count = 1;
    for (int d = 0; d < dimensions; ++d) {
      const std::uint64_t extent = Count();
      if (extent != 0 && count > (in_.size() - at_) / extent) throw Unreadable{};
      count *= extent;
      if (dimensions > 1) array->shape.push_back(extent);
    }
    if (count > in_.size() - at_) throw Unreadable{};
    if (elementType == VarType::Byte) {
      const std::string_view bytes = Take(count);
      array->bytes.assign(bytes.begin(), bytes.end());
    } else {
      array->elements.reserve(count);
      for (std::uint64_t i = 0; i < count; ++i) array->elements.push_back(Value(depth + 1));
    }
    return ArrayRef(std::move(array));
  }

  std::string_view in_;
  std::size_t at_ = 0;
};

}  // namespace

std::string StoredForm(SessionState& session, std::size_t most) {
  Writer out(most);
  out.Append(kMagic);
  out.Fixed(static_cast<std::uint16_t>(session.TimeoutMinutes()));
  out.Fixed(static_cast<std::int32_t>(session.CodePage()));
  out.Fixed(static_cast<std::int32_t>(session.Lcid()));
  const std::vector<std::string> names = session.Values().Names();
  out.Count(names.size());
  for (const std::string& name : names) {
    out.Text(name);
    out.Value(session.Values().Get(name));
  }
  return out.Take();
}

bool ReadStoredForm(std::string_view bytes, SessionState& session) {
  if (!bytes.starts_with(kMagic)) return false;
  try {
    Reader in(bytes.substr(kMagic.size()));
    const auto timeout = in.Fixed<std::uint16_t>();
    const auto codePage = in.Fixed<std::int32_t>();
    const auto lcid = in.Fixed<std::int32_t>();
    std::vector<std::pair<std::string, Variant>> values;
    for (auto count = in.Count(); count != 0; --count) {
      std::string name = in.Text();
      values.emplace_back(std::move(name), in.Value(0));
    }
    if (!in.AtEnd()) return false;
    session.SetTimeoutMinutes(timeout);
    session.SetCodePage(codePage);
    session.SetLcid(lcid);
    for (auto& [name, value] : values) session.Values().Set(name, std::move(value));
    return true;
  } catch (const Unreadable&) {
    return false;
  } catch (const oleaut::AutomationError&) {
    // A timeout out of range, or values beyond what sessions may hold.
    return false;
  }
}

}  // namespace kelvane::host
