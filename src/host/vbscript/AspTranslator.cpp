#include "host/vbscript/AspTranslator.h"

#include <algorithm>
#include <cctype>

#include "host/vbscript/ScriptError.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::vbscript {

namespace {

// Includes nest at most this deep, a cycle aside.
constexpr std::size_t kMaxIncludeDepth = 32;

int LineAt(std::string_view text, std::size_t at) {
  return static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 1;
}

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
    TranslateFile(path, *text);
    return std::move(script_);
  }

 private:
  [[noreturn]] void Fail(const std::string& file, int line, std::string description) {
    throw CompileFailure(ScriptError{kSyntaxError, kCompileSource, std::move(description), file, line});
  }

  // Starts a piece of the program at `line` of the current file: the piece
  // begins on a fresh program line, whose origin this sets.
  void StartPiece(std::uint32_t file, int line) {
    script_.lines.back() = {file, static_cast<std::uint32_t>(line)};
  }

  void AppendCode(std::string_view code, std::uint32_t file, int line) {
    StartPiece(file, line);
    for (const char c : code) {
      script_.program += c;
      if (c == '\n') script_.lines.push_back({file, static_cast<std::uint32_t>(++line)});
    }
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
    std::size_t at = 0;
    while (at < page.size()) {
      const std::size_t code = page.find("<%", at);
      const std::size_t include = FindInclude(page, at);
      const std::size_t next = std::min(code, include);
      const std::string_view text = page.substr(at, next == std::string_view::npos ? next : next - at);
      if (const std::size_t script = FindServerScript(text); script != std::string_view::npos)
        Fail(path, LineAt(page, at + script), "<script runat=\"server\"> blocks are not supported: use <% %>");
      AppendText(text, file, LineAt(page, at));
      if (next == std::string_view::npos) break;
      at = next == include ? Include(path, page, include) : Code(path, page, code, file);
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

  // Where a <script runat="server"> tag starts in `text`; npos when none does.
  static std::size_t FindServerScript(std::string_view text) {
    const std::string lower = oleaut::FoldCase(text);
    for (std::size_t at = lower.find("<script"); at != std::string::npos; at = lower.find("<script", at + 1)) {
      const std::size_t end = lower.find('>', at);
      const auto runat = Attribute(std::string_view(lower).substr(at, end == std::string::npos ? end : end - at), "runat");
      if (runat && *runat == "server") return at;
    }
    return std::string_view::npos;
  }

  // The code block at `open`; returns where the text after it starts.
  std::size_t Code(const std::string& path, std::string_view page, std::size_t open,
                   std::uint32_t file) {
    const std::size_t close = page.find("%>", open + 2);
    const int line = LineAt(page, open);
    if (close == std::string_view::npos) Fail(path, line, "'<%' is never closed by '%>'");
    std::string_view code = page.substr(open + 2, close - open - 2);
    if (!code.empty() && code.front() == '@') {
      const auto language = Attribute(code.substr(1), "language");
      if (language && oleaut::FoldCase(*language) != "vbscript")
        Fail(path, line, "this host runs .asp pages in VBScript only, not " + *language);
      if (const auto sessionState = Attribute(code.substr(1), "enablesessionstate")) {
        const std::string value = oleaut::FoldCase(*sessionState);
        if (value != "true" && value != "false")
          Fail(path, line, "EnableSessionState is True or False, not " + *sessionState);
        script_.sessionState = value == "true";
      }
      AppendCode(std::string(LineAt(code, code.size()) - 1, '\n'), file, line);
      // The directive's own line ends with it: its line break is not text of
      // the page, which would land in front of a picture's bytes.
      for (const std::string_view lineBreak : {"\r\n", "\n"}) {
        if (page.substr(close + 2, lineBreak.size()) == lineBreak) return close + 2 + lineBreak.size();
      }
    } else if (!code.empty() && code.front() == '=') {
      if (code.find_first_of("\x01\x02") != std::string_view::npos)
        Fail(path, line, "invalid character");
      std::string write(1, kWriteMarker);
      write.append(code.substr(1));
      AppendCode(write, file, line);
    } else {
      if (code.find_first_of("\x01\x02") != std::string_view::npos)
        Fail(path, line, "invalid character");
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
    TranslateFile(*target, *text);
    return close + 3;
  }

  PageFiles& files_;
  TranslatedScript script_;
  std::vector<std::string> including_;
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
