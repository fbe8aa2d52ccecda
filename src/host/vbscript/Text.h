#pragma once
// Text as the string functions see it: UTF-8 bytes counted in characters,
// positions 1-based; text compare ignores the case of ASCII letters. Every
// search takes time linear in its input, and work that grows with its
// input stops at the page's deadline.

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvane::host::vbscript {

std::size_t CharCount(std::string_view s);
// The byte offset of character `chars` (0-based); the size when beyond the end.
std::size_t ByteOffset(std::string_view s, std::size_t chars);
// The byte position of `find` in `s` at or after byte `from`; npos when absent.
std::size_t FindBytes(std::string_view s, std::string_view find, std::size_t from);
// The byte position of the last `find` in `s`; npos when absent.
std::size_t FindBytesBackward(std::string_view s, std::string_view find);
// Text as a comparison sees it: itself for binary compare, its letters
// folded for text compare (a copy only then). Views `s`: `s` must outlive it.
class ComparedText {
 public:
  ComparedText(std::string_view s, bool text);
  ComparedText(const ComparedText&) = delete;
  ComparedText& operator=(const ComparedText&) = delete;
  std::string_view View() const { return view_; }

 private:
  std::string folded_;
  std::string_view view_;
};
// The 1-based character position of `find` in `s` from character `start`;
// 0 when absent, `start` when `find` is empty and `start` is within `s`.
std::size_t FindText(std::string_view s, std::string_view find, std::size_t start, bool text);
// The last position of `find` that ends at or before character `start`
// (-1: the end of `s`); 0 when absent.
std::size_t FindTextBackward(std::string_view s, std::string_view find, long start, bool text);
// `s` from character `start` on, with up to `count` (-1: all) of `find` replaced.
std::string ReplaceText(std::string_view s, std::string_view find, std::string_view with,
                        std::size_t start, long count, bool text);
// -1, 0 or 1.
int CompareText(std::string_view a, std::string_view b, bool text);
std::string ReverseText(std::string_view s);
// `unit` `count` times over.
std::string RepeatText(std::string_view unit, std::size_t count);
std::string EncodeCodePoint(std::uint32_t code);
std::uint32_t FirstCodePoint(std::string_view s);

}  // namespace kelvane::host::vbscript
