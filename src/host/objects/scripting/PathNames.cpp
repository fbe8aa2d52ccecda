#include "host/objects/scripting/PathNames.h"

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::scripting {

namespace {

constexpr std::string_view kSeparators = "\\/";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The length of the root at the start of `path`: a drive ("C:") and the
// separators after it.
std::size_t RootLength(std::string_view path) {
  std::size_t at = 0;
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
    at = 2;
  while (at < path.size() && IsSeparator(path[at])) ++at;
  return at;
}

// `path` without the separators at its end, its root kept whole.
std::string_view TrimEnd(std::string_view path) {
  const std::size_t root = RootLength(path);
  std::size_t end = path.size();
  while (end > root && IsSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

// `pattern` against `name`: on a mismatch the last '*' takes one more
// character, so the work is at most the product of the two lengths.
bool Matches(std::string_view pattern, std::string_view name) {
  const auto nextChar = [&](std::size_t at) {
    ++at;
    while (at < name.size() && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80) ++at;
    return at;
  };
  std::size_t p = 0, n = 0;
  // Where the last '*' was, and the place in the name it stands up to.
  std::size_t star = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      starName = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n = nextChar(n);
    } else if (p < pattern.size() && oleaut::FoldChar(pattern[p]) == oleaut::FoldChar(name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = starName = nextChar(starName);
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::string_view LastName(std::string_view path) {
  const std::string_view trimmed = TrimEnd(path);
  const std::size_t root = RootLength(trimmed);
  const std::size_t last = trimmed.find_last_of(kSeparators);
  const std::size_t start = last == std::string_view::npos || last < root ? root : last + 1;
  return trimmed.substr(start);
}

std::string_view ParentName(std::string_view path) {
  const std::string_view trimmed = TrimEnd(path);
  const std::string_view name = LastName(trimmed);
  if (name.empty()) return {};
  return TrimEnd(trimmed.substr(0, trimmed.size() - name.size()));
}

std::string_view BaseName(std::string_view path) {
  const std::string_view name = LastName(path);
  return name.substr(0, name.rfind('.'));
}

std::string_view ExtensionName(std::string_view path) {
  const std::string_view name = LastName(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
}

bool HasWildcards(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (Matches(pattern, name)) return true;
  return pattern.ends_with(".*") && Matches(pattern.substr(0, pattern.size() - 2), name);
}

std::string JoinPath(std::string_view path, std::string_view name) {
  const std::size_t inPath = path.find_last_of(kSeparators);
  const std::size_t inName = name.find_first_of(kSeparators);
  const char separator = inPath != std::string_view::npos   ? path[inPath]
                         : inName != std::string_view::npos ? name[inName]
                                                            : '\\';
  const std::string_view head = TrimEnd(path);
  while (!name.empty() && IsSeparator(name.front())) name.remove_prefix(1);
  std::string joined(head);
  if (!head.empty() && !IsSeparator(head.back()) && !name.empty()) joined += separator;
  joined += name;
  return joined;
}

}  // namespace kelvane::host::scripting
