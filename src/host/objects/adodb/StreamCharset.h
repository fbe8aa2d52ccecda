#pragma once
// The character sets a text stream reads and writes: the host's code pages,
// by the names a Content-Type gives them, and "unicode" (UTF-16, low byte
// first, also named "utf-16"). Text inside the host is UTF-8.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane::host::adodb {

class StreamCharset {
 public:
  // The character set named `name`, in any case; nullopt for one not spoken.
  static std::optional<StreamCharset> Named(std::string_view name);

  // UTF-8 `text` as bytes of this set; what it lacks becomes '?'.
  std::string Encode(std::string_view text) const;
  // Bytes of this set as UTF-8 text.
  std::string Decode(std::string_view bytes) const;
  // The byte-order mark that text written from a stream's start begins
  // with, and that reading from the start skips; empty for none.
  std::string_view Mark() const;
  // The bytes of the character at the start of `bytes`, which is not empty;
  // a broken or cut character counts as one.
  std::size_t CharacterLength(std::string_view bytes) const;
  // The size of a code unit: a line separator starts only at a multiple of
  // it from the start of the text.
  std::size_t UnitSize() const { return codePage_ == kUtf16 ? 2 : 1; }

 private:
  static constexpr int kUtf16 = 1200;
  explicit StreamCharset(int codePage) : codePage_(codePage) {}
  int codePage_;
};

}  // namespace kelvane::host::adodb
