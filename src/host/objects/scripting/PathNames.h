#pragma once
// The parts of a path as the FileSystemObject's name functions give them:
// read from the text alone, never from the disk, with '\' and '/' both
// taken as separators and kept as the text has them. A drive prefix
// ("C:") counts as part of the root.

#include <string>
#include <string_view>

namespace kelvane::host::scripting {

// The last name, separators at the end ignored: "b.txt" for "a\b.txt";
// empty for a root.
std::string_view LastName(std::string_view path);
// The path without its last name and the separators before it: "a" for
// "a\b.txt", "\" for "\a", empty for "b.txt".
std::string_view ParentName(std::string_view path);
// The last name without its extension: "b" for "a\b.tar.gz" gives "b.tar".
std::string_view BaseName(std::string_view path);
// The extension of the last name, without its dot; empty when it has none.
std::string_view ExtensionName(std::string_view path);
// Whether the name `name` matches `pattern`, where '*' stands for any
// characters and '?' for one, letters in any case (ASCII); no other
// character is special. A final ".*" also matches no extension: "*.*"
// is every name.
bool MatchesWildcard(std::string_view pattern, std::string_view name);
// Whether `name` holds a wildcard.
bool HasWildcards(std::string_view name);
// `name` joined to `path` with one separator: the one `path` uses, else
// the one `name` uses, else '\'.
std::string JoinPath(std::string_view path, std::string_view name);

}  // namespace kelvane::host::scripting
