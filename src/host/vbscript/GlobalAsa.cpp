#include "host/vbscript/GlobalAsa.h"

#include <algorithm>
#include <cctype>

#include "host/vbscript/ScriptError.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::vbscript {

namespace {

class Reader {
 public:
  Reader(std::string_view text, const std::string& path)
      : text_(text), lower_(oleaut::FoldCase(text)), path_(path) {
    result_.script.files.push_back(path);
  }

  GlobalAsa Read() {
    for (std::size_t at = lower_.find('<'); at != std::string::npos; at = lower_.find('<', at + 1)) {
      if (StartsTag(at, "script")) {
        at = Script(at);
      } else if (StartsTag(at, "object")) {
        at = Object(at);
      } else if (lower_.compare(at, 4, "<!--") == 0) {
        at = lower_.find("-->", at);
        if (at == std::string::npos) break;
      }
    }
    // Each program line comes from the line of global.asa it stands on.
    const auto lines = static_cast<std::uint32_t>(std::count(result_.script.program.begin(),
                                                             result_.script.program.end(), '\n')) + 1;
    for (std::uint32_t line = 1; line <= lines; ++line) result_.script.lines.push_back({0, line});
    return std::move(result_);
  }

 private:
  [[noreturn]] void Fail(std::size_t at, std::string description) const {
    throw CompileFailure(ScriptError{kSyntaxError, kCompileSource, std::move(description), path_, Line(at)});
  }

  int Line(std::size_t at) const {
    return static_cast<int>(std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 1;
  }

  bool StartsTag(std::size_t at, std::string_view name) const {
    const std::size_t end = at + 1 + name.size();
    return lower_.compare(at + 1, name.size(), name) == 0 && end < lower_.size() &&
           (std::isspace(static_cast<unsigned char>(lower_[end])) != 0 || lower_[end] == '>');
  }

  // The attributes of the tag at `at`, and where the tag ends.
  std::pair<std::string_view, std::size_t> Tag(std::size_t at) const {
    const std::size_t end = lower_.find('>', at);
    if (end == std::string::npos) Fail(at, "a tag is never closed by '>'");
    return {text_.substr(at, end - at), end + 1};
  }

  static bool RunsAtServer(std::string_view attributes) {
    const auto runat = Attribute(attributes, "runat");
    return runat && oleaut::SameName(*runat, "server");
  }

  // The script block at `at`; returns where the text after it starts.
  std::size_t Script(std::size_t at) {
    const auto [attributes, start] = Tag(at);
    const std::size_t end = lower_.find("</script", start);
    if (end == std::string::npos) Fail(at, "a <script> block is never closed by </script>");
    if (!RunsAtServer(attributes)) return end;
    const auto language = Attribute(attributes, "language");
    if (language && !oleaut::SameName(*language, "vbscript"))
      Fail(at, "global.asa runs VBScript only, not " + *language);
    // Blank lines up to the block's first line keep every line where it is.
    std::string& program = result_.script.program;
    const auto before = static_cast<std::size_t>(Line(start) - 1);
    const auto written = static_cast<std::size_t>(std::count(program.begin(), program.end(), '\n'));
    program.append(before - written, '\n');
    const std::string_view code = text_.substr(start, end - start);
    if (code.find_first_of("\x01\x02") != std::string_view::npos) Fail(start, "invalid character");
    program.append(code);
    return end;
  }

  // The object tag at `at`; returns where the text after it starts.
  std::size_t Object(std::size_t at) {
    const auto [attributes, end] = Tag(at);
    if (!RunsAtServer(attributes)) return end;
    const auto scope = Attribute(attributes, "scope");
    const auto id = Attribute(attributes, "id");
    const auto progID = Attribute(attributes, "progid");
    if (!scope || (!oleaut::SameName(*scope, "session") && !oleaut::SameName(*scope, "application")))
      Fail(at, "an <object> in global.asa has the scope Session or Application");
    if (!id || id->empty()) Fail(at, "an <object> has no id");
    if (!progID || progID->empty())
      Fail(at, Attribute(attributes, "classid") ? "objects are made by ProgID here: give progid, not classid"
                                                 : "an <object> has no progid");
    if (std::any_of(result_.objects.begin(), result_.objects.end(),
                    [&](const StaticObject& object) { return oleaut::SameName(object.id, *id); }))
      Fail(at, "an <object> named " + *id + " is declared twice");
    result_.objects.push_back({oleaut::SameName(*scope, "session"), *id, *progID});
    return end;
  }

  std::string_view text_;
  std::string lower_;
  const std::string& path_;
  GlobalAsa result_;
};

}  // namespace

GlobalAsa ParseGlobalAsa(std::string_view text, const std::string& path) { return Reader(text, path).Read(); }

}  // namespace kelvane::host::vbscript
