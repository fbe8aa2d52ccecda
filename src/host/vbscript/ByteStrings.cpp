// The byte functions. A byte string is a byte array, as Request.BinaryRead,
// ChrB and the byte functions give it, and & joins byte strings into one;
// positions and lengths count its bytes from 1. Text given to a byte
// function is seen as its UTF-16 code units of two bytes each, low byte
// first, so LenB of text is twice its length, and a part cut from text is
// text again (of the whole code units in it).

#include <string>
#include <vector>

#include "host/vbscript/BuiltinFunctions.h"
#include "host/vbscript/Text.h"

namespace kelvane::host::vbscript::builtins {

using namespace oleaut;

namespace {

// The bytes of a byte string or of text, without a copy for a byte array.
class Bytes {
 public:
  explicit Bytes(const Variant& v) {
    if (const auto* array = v.If<ArrayRef>(); array != nullptr && IsByteArray(v)) {
      array_ = *array;
      view_ = BytesOf(*array_);
      return;
    }
    text_ = ToUtf16Bytes(ToString(v));
    view_ = text_;
  }
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;

  std::string_view View() const { return view_; }
  // `count` bytes from byte `from` (0-based, both within the bytes), in the
  // kind of string they came from.
  Variant Part(std::size_t from, std::size_t count) const {
    const std::string_view part = view_.substr(from, count);
    if (!array_) return FromUtf16Bytes(part);
    return Variant::ByteArray(std::vector<Byte>(part.begin(), part.end()), 0);
  }

 private:
  ArrayRef array_;
  std::string text_;
  std::string_view view_;
};

}  // namespace

Variant LenB(Args a) {
  if (a[0].IsNull()) return a[0];
  return static_cast<Long>(Bytes(a[0]).View().size());
}

Variant LeftB(Args a) {
  const auto n = static_cast<std::size_t>(Count(a[1]));
  if (a[0].IsNull()) return a[0];
  const Bytes bytes(a[0]);
  return bytes.Part(0, n);
}

Variant RightB(Args a) {
  const auto n = static_cast<std::size_t>(Count(a[1]));
  if (a[0].IsNull()) return a[0];
  const Bytes bytes(a[0]);
  const std::size_t size = bytes.View().size();
  return bytes.Part(size > n ? size - n : 0, n);
}

Variant MidB(Args a) {
  RefuseNull(a.subspan(1));
  const Long start = ToLong(a[1]);
  if (start < 1) InvalidCall();
  const std::size_t length = Given(a, 2) ? static_cast<std::size_t>(Count(a[2])) : std::string::npos;
  if (a[0].IsNull()) return a[0];
  const Bytes bytes(a[0]);
  const auto from = static_cast<std::size_t>(start - 1);
  if (from >= bytes.View().size()) return bytes.Part(0, 0);
  return bytes.Part(from, length);
}

Variant InStrB(Args a) {
  const SearchArguments search = ReadSearchArguments(a);
  if (search.searched.IsNull() || search.sought.IsNull()) return Variant::Null();
  const Bytes searched(search.searched);
  const Bytes sought(search.sought);
  const std::size_t from = search.start - 1;
  if (from > searched.View().size() || (sought.View().empty() && from == searched.View().size()))
    return Long{0};
  const ComparedText in(searched.View(), search.text);
  const ComparedText find(sought.View(), search.text);
  const std::size_t found = FindBytes(in.View(), find.View(), from);
  return found == std::string::npos ? Long{0} : static_cast<Long>(found + 1);
}

Variant AscB(Args a) {
  if (a[0].IsNull()) RaiseRuntimeError(kInvalidUseOfNull);
  const Bytes bytes(a[0]);
  if (bytes.View().empty()) InvalidCall();
  return static_cast<Integer>(static_cast<unsigned char>(bytes.View().front()));
}

Variant ChrB(Args a) {
  const Long code = ToLong(a[0]);
  if (code < 0 || code > 255) InvalidCall();
  return Variant::ByteArray({static_cast<Byte>(code)}, 0);
}

}  // namespace kelvane::host::vbscript::builtins
