#pragma once
// Turns an .asp page and its includes into one VBScript program. Text
// outside <% %> becomes a reference to that text, <%= expr %> a write of the
// expression, <% code %> and the code of a <script runat="server"> block stay
// as they are where they stand (blanks may precede the '=' or '@'); the
// directive <%@ Language="VBScript" EnableSessionState=False CodePage=1252
// LCID=1033 %> is checked, noted for the host and dropped;
// <!--#include file="..." --> (relative to the file that includes) and
// <!--#include virtual="..." --> (relative to the site root) are replaced by
// the included file, translated the same way. Each line of the program knows
// the file and line it came from.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvane::host::vbscript {

// How the translator reads the files of a site.
class PageFiles {
 public:
  virtual ~PageFiles() = default;
  // The bytes of the file at `path` (site-relative, '/' separated, without
  // "." or ".." parts); nullopt when it is missing, unreadable, or resolves
  // (through links) outside the site.
  virtual std::optional<std::string> Read(const std::string& path) = 0;
};

// Files held in memory by path: pages that are not on disk (generated
// pages, tests, benchmarks).
class MemoryFiles : public PageFiles {
 public:
  explicit MemoryFiles(std::map<std::string, std::string> files) : files_(std::move(files)) {}
  std::optional<std::string> Read(const std::string& path) override {
    const auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::map<std::string, std::string> files_;
};

// The place a program line comes from: an index into `files` and a line.
struct LineOrigin {
  std::uint32_t file = 0;
  std::uint32_t line = 0;
};

// Markers the translator puts into the program: kTextMarker and a decimal
// index stand for texts[index], to be written; kWriteMarker starts the
// expression of a <%= %>. Neither byte can appear in the VBScript of a page
// (the lexer refuses them there).
constexpr char kTextMarker = '\x01';
constexpr char kWriteMarker = '\x02';

struct TranslatedScript {
  std::string program;
  std::vector<std::string> texts;
  std::vector<std::string> files;   // files[0] is the page
  std::vector<LineOrigin> lines;    // lines[i]: origin of program line i + 1
  bool sessionState = true;         // false: EnableSessionState=False
  std::optional<int> codePage;      // CodePage=: the files were read in it
  std::optional<int> lcid;          // LCID=
};

// Translates the page at `path` (site-relative). The code page of a
// directive that opens the page (<%@ CodePage=1252 %>) is that of the page
// and its includes, which are read in it. Raises CompileFailure for a page
// or include that cannot be read, an include outside the site or in a
// cycle, a <% or server <script> that is never closed, a language other
// than VBScript (in the directive or a server <script>), an
// EnableSessionState other than True or False, a code page the host does
// not speak, or an LCID that is no number from 1 to 0xFFFFF.
TranslatedScript TranslatePage(const std::string& path, PageFiles& files);

// The value of attribute `name` (lower case) in the tag text `attributes`
// (name = "value", quotes optional, any case); nullopt when absent.
std::optional<std::string> Attribute(std::string_view attributes, std::string_view name);

// Resolves `reference` against the folder `base` (both site-relative) into a
// site-relative path without "." and ".." parts; nullopt when it leaves the site.
std::optional<std::string> ResolveSitePath(std::string_view base, std::string_view reference);

}  // namespace kelvane::host::vbscript
