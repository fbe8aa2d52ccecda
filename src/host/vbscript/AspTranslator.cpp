#include "host/vbscript/AspTranslator.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "host/pages/CodePages.h"
#include "host/vbscript/ScriptError.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::vbscript {

namespace {

// Includes nest at most this deep, a cycle aside.
constexpr std::size_t kMaxIncludeDepth = 32;

}  // namespace

std::optional<std::string> Attribute(std::string_view attributes, std::string_view name) {
  const std::string lower = oleaut::FoldCase(attributes);
  for (std::size_t at = lower.find(name); at != std::string::npos; at = lower.find(name, at + 1)) {
    if (at > 0 && (std::isalnum(static_cast<unsigned char>(lower[at - 1])) != 0)) continue;
    std::size_t i = at + name.size();
    while (i < lower.size() && std::isspace(static_cast<unsigned char>(lower[i]))) ++i;
    if (i >= lower.size() || lower[i] != '=') continue;
    ++i;
    while (i < lower.size() && std::isspace(static_cast<unsigned char>(lower[i]))) ++i;
    if (i < lower.size() && lower[i] == '"') {
      const std::size_t end = lower.find('"', i + 1);
      if (end == std::string::npos) return std::nullopt;
      return std::string(attributes.substr(i + 1, end - i - 1));
    }
    std::size_t end = i;
    while (end < lower.size() && !std::isspace(static_cast<unsigned char>(lower[end]))) ++end;
    return std::string(attributes.substr(i, end - i));
  }
  return std::nullopt;
}

namespace {

class Translator {
 public:
  explicit Translator(PageFiles& files) : files_(files) { script_.lines.push_back({}); }

  TranslatedScript Run(const std::string& path) {
    auto text = files_.Read(path);
    if (!text) Fail(path, 0, "the page cannot be read: " + path);
    // The directive is text of every code page the host speaks: the one
    // that opens the page tells how to read the rest.
    const std::size_t first = text->find("<%");
    const std::size_t mark = first == std::string::npos ? first : text->find_first_not_of(" \t\r\n", first + 2);
    if (mark != std::string::npos && (*text)[mark] == '@') {
      const std::size_t close = text->find("%>", mark);
      if (close != std::string::npos)
        Directive(path, std::string_view(*text).substr(mark + 1, close - mark - 1), LineAt(*text, first));
    }
    TranslateFile(path, DecodeText(*text, script_.codePage.value_or(kUtf8CodePage)));
    return std::move(script_);
  }

 private:
  // The line of `text` that the byte `at` is on. The translation moves
  // forward through a file, so the lines are counted on from the place asked
  // last, and from the start only for another text or a place before it.
  int LineAt(std::string_view text, std::size_t at) {
    if (text.data() != counted_.data() || text.size() != counted_.size() || at < countedTo_) {
      counted_ = text;
      countedTo_ = 0;
      countedLines_ = 1;
    }
    countedLines_ += static_cast<int>(std::count(text.begin() + static_cast<std::ptrdiff_t>(countedTo_),
                                                 text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
    countedTo_ = at;
    return countedLines_;
  }

  [[noreturn]] void Fail(const std::string& file, int line, std::string description,
                         std::int32_t number = kSyntaxError) {
    throw CompileFailure(ScriptError{number, kCompileSource, std::move(description), file, line});
  }

  // The number that attribute `name` of a directive gives, if any.
  std::optional<int> Number(const std::string& path, int line, std::string_view attributes, std::string_view name) {
    const auto text = Attribute(attributes, oleaut::FoldCase(name));
    if (!text) return std::nullopt;
    int number = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
    if (error != std::errc() || end != text->data() + text->size())
      Fail(path, line, std::string(name) + " is a number, not " + *text, oleaut::kInvalidProcedureCall);
    return number;
  }

  // Checks the attributes of a <%@ %> directive and notes them.
  void Directive(const std::string& path, std::string_view attributes, int line) {
    const auto language = Attribute(attributes, "language");
    if (language && oleaut::FoldCase(*language) != "vbscript")
      Fail(path, line, "this host runs .asp pages in VBScript only, not " + *language);
    if (const auto sessionState = Attribute(attributes, "enablesessionstate")) {
      const std::string value = oleaut::FoldCase(*sessionState);
      if (value != "true" && value != "false")
        Fail(path, line, "EnableSessionState is True or False, not " + *sessionState);
      script_.sessionState = value == "true";
    }
    if (const auto codePage = Number(path, line, attributes, "CodePage")) {
      if (!IsKnownCodePage(*codePage))
        Fail(path, line, "code page " + std::to_string(*codePage) + " is not one of 65001, 1252, 28591 and 20127",
             oleaut::kInvalidProcedureCall);
      script_.codePage = codePage;
    }
    if (const auto lcid = Number(path, line, attributes, "LCID")) {
      if (*lcid < 1 || *lcid > 0xFFFFF)
        Fail(path, line, "LCID " + std::to_string(*lcid) + " is no locale", oleaut::kInvalidProcedureCall);
      script_.lcid = lcid;
    }
  }

  // Starts a piece of the program at `line` of the current file: the piece
  // begins on a fresh program line, whose origin this sets.
  void StartPiece(std::uint32_t file, int line) {
    script_.lines.back() = {file, static_cast<std::uint32_t>(line)};
  }

  void AppendCode(std::string_view code, std::uint32_t file, int line) {
    StartPiece(file, line);
    for (std::size_t at = code.find('\n'); at != std::string_view::npos; at = code.find('\n', at + 1))
      script_.lines.push_back({file, static_cast<std::uint32_t>(++line)});
    script_.program.append(code);
    script_.program += '\n';
    script_.lines.push_back({file, static_cast<std::uint32_t>(line + 1)});
  }

  void AppendText(std::string_view text, std::uint32_t file, int line) {
    if (text.empty()) return;
    StartPiece(file, line);
    script_.program += kTextMarker;
    script_.program += std::to_string(script_.texts.size());
    script_.program += '\n';
    script_.texts.emplace_back(text);
    script_.lines.push_back({file, static_cast<std::uint32_t>(line)});
  }

  void TranslateFile(const std::string& path, std::string_view page) {
    const auto file = static_cast<std::uint32_t>(script_.files.size());
    script_.files.push_back(path);
    including_.push_back(path);
    counted_ = {};  // a text freed since may have left its place to this one
    // Where the next include and server script block start: each search
    // runs again only once the text has passed what it found.
    std::size_t include = FindInclude(page, 0);
    std::size_t script = FindServerScript(page, 0);
    std::size_t at = 0;
    while (at < page.size()) {
      if (include < at) include = FindInclude(page, at);
      if (script < at) script = FindServerScript(page, at);
      const std::size_t code = page.find("<%", at);
      const std::size_t next = std::min({code, include, script});
      const std::string_view text = page.substr(at, next == std::string_view::npos ? next : next - at);
      AppendText(text, file, LineAt(page, at));
      if (next == std::string_view::npos) break;
      if (next == include) at = Include(path, page, include);
      else if (next == script) at = ServerScript(path, page, script, file);
      else at = Code(path, page, code, file);
    }
    including_.pop_back();
  }

  static std::size_t FindInclude(std::string_view page, std::size_t from) {
    for (std::size_t at = page.find("<!--", from); at != std::string_view::npos;
         at = page.find("<!--", at + 1)) {
      std::size_t i = at + 4;
      while (i < page.size() && std::isspace(static_cast<unsigned char>(page[i]))) ++i;
      if (oleaut::FoldCase(page.substr(i, 8)) == "#include") return at;
    }
    return std::string_view::npos;
  }

  // The attributes of the tag that starts at `open`, up to its '>'.
  static std::string_view TagAttributes(std::string_view page, std::size_t open) {
    const std::size_t end = page.find('>', open);
    return page.substr(open, end == std::string_view::npos ? end : end - open);
  }

  // Where the next <script runat="server"> tag starts from `from`; npos when none does.
  static std::size_t FindServerScript(std::string_view page, std::size_t from) {
    for (std::size_t at = page.find('<', from); at != std::string_view::npos; at = page.find('<', at + 1)) {
      if (oleaut::FoldCase(page.substr(at, 7)) != "<script" || IsNameByte(page, at + 7)) continue;
      const auto runat = Attribute(TagAttributes(page, at), "runat");
      if (runat && oleaut::FoldCase(*runat) == "server") return at;
    }
    return std::string_view::npos;
  }

  static bool IsNameByte(std::string_view page, std::size_t at) {
    return at < page.size() && (std::isalnum(static_cast<unsigned char>(page[at])) != 0);
  }

  // The server script block at `open`: its code is page script where it
  // stands. Returns where the text after its </script> starts.
  std::size_t ServerScript(const std::string& path, std::string_view page, std::size_t open,
                           std::uint32_t file) {
    const int line = LineAt(page, open);
    const std::size_t tagEnd = page.find('>', open);
    if (tagEnd == std::string_view::npos) Fail(path, line, "a <script> tag is never closed by '>'");
    const auto language = Attribute(TagAttributes(page, open), "language");
    if (language && oleaut::FoldCase(*language) != "vbscript")
      Fail(path, line, "this host runs server script in VBScript only, not " + *language);
    const std::size_t body = tagEnd + 1;
    std::size_t close = body;
    for (close = page.find("</", close); close != std::string_view::npos; close = page.find("</", close + 1))
      if (oleaut::FoldCase(page.substr(close, 8)) == "</script" && !IsNameByte(page, close + 8)) break;
    if (close == std::string_view::npos) Fail(path, line, "a <script runat=\"server\"> block is never closed by </script>");
    const std::string_view code = page.substr(body, close - body);
    const int codeLine = LineAt(page, body);  // the tag may span lines
    CheckCode(path, code, codeLine);
    AppendCode(code, file, codeLine);
    const std::size_t after = page.find('>', close);
    if (after == std::string_view::npos) Fail(path, LineAt(page, close), "a </script> tag is never closed by '>'");
    return after + 1;
  }

  void CheckCode(const std::string& path, std::string_view code, int line) {
    if (code.find_first_of("\x01\x02") != std::string_view::npos) Fail(path, line, "invalid character");
  }

  // The code block at `open`; returns where the text after it starts.
  std::size_t Code(const std::string& path, std::string_view page, std::size_t open,
                   std::uint32_t file) {
    const std::size_t close = page.find("%>", open + 2);
    const int line = LineAt(page, open);
    if (close == std::string_view::npos) Fail(path, line, "'<%' is never closed by '%>'");
    std::string_view code = page.substr(open + 2, close - open - 2);
    // The directive and the write may stand after blanks: <% @Language %>, <% = x %>.
    const std::size_t first = code.find_first_not_of(" \t\r\n");
    const char mark = first == std::string_view::npos ? '\0' : code[first];
    if (mark == '@') {
      Directive(path, code.substr(first + 1), line);
      AppendCode(std::string(LineAt(code, code.size()) - 1, '\n'), file, line);
      // The directive's own line ends with it: its line break is not text of
      // the page, which would land in front of a picture's bytes.
      for (const std::string_view lineBreak : {"\r\n", "\n"}) {
        if (page.substr(close + 2, lineBreak.size()) == lineBreak) return close + 2 + lineBreak.size();
      }
    } else if (mark == '=') {
      CheckCode(path, code, line);
      std::string write(code.substr(0, first));
      write += kWriteMarker;
      write.append(code.substr(first + 1));
      AppendCode(write, file, line);
    } else {
      CheckCode(path, code, line);
      AppendCode(code, file, line);
    }
    return close + 2;
  }

  // The include directive at `open`; returns where the text after it starts.
  std::size_t Include(const std::string& path, std::string_view page, std::size_t open) {
    const int line = LineAt(page, open);
    const std::size_t close = page.find("-->", open);
    if (close == std::string_view::npos) Fail(path, line, "an include directive is never closed by '-->'");
    const std::string_view directive = page.substr(open, close - open);
    std::optional<std::string> target;
    if (const auto file = Attribute(directive, "file")) {
      const std::size_t slash = path.rfind('/');
      target = ResolveSitePath(slash == std::string::npos ? "" : path.substr(0, slash), *file);
    } else if (const auto virtualPath = Attribute(directive, "virtual")) {
      target = ResolveSitePath("", *virtualPath);
    } else {
      Fail(path, line, "an include names neither file= nor virtual=");
    }
    if (!target) Fail(path, line, "an include leaves the site");
    if (std::find(including_.begin(), including_.end(), *target) != including_.end()) {
      std::string cycle;
      for (const auto& f : including_) cycle += f + " -> ";
      Fail(path, line, "include cycle: " + cycle + *target);
    }
    if (including_.size() >= kMaxIncludeDepth) Fail(path, line, "includes nest too deep");
    const auto text = files_.Read(*target);
    if (!text) Fail(path, line, "include file not found: " + *target);
    TranslateFile(*target, DecodeText(*text, script_.codePage.value_or(kUtf8CodePage)));
    return close + 3;
  }

  PageFiles& files_;
  TranslatedScript script_;
  std::vector<std::string> including_;
  std::string_view counted_;
  std::size_t countedTo_ = 0;
  int countedLines_ = 1;
};

}  // namespace

std::optional<std::string> ResolveSitePath(std::string_view base, std::string_view reference) {
  std::string joined(reference);
  std::replace(joined.begin(), joined.end(), '\\', '/');
  if (joined.empty() || joined.front() != '/') joined = std::string(base) + "/" + joined;
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= joined.size()) {
    std::size_t end = joined.find('/', at);
    if (end == std::string::npos) end = joined.size();
    const std::string part = joined.substr(at, end - at);
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  if (parts.empty()) return std::nullopt;
  std::string path;
  for (const auto& part : parts) path += (path.empty() ? "" : "/") + part;
  return path;
}

TranslatedScript TranslatePage(const std::string& path, PageFiles& files) {
  return Translator(files).Run(path);
}

}  // namespace kelvane::host::vbscript
