#include "host/vbscript/RegExp.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <array>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/pages/PageDeadline.h"
#include "host/vbscript/RegExpMatches.h"
#include "host/vbscript/RegExpSyntax.h"
#include "host/vbscript/ScriptError.h"
#include "host/vbscript/Text.h"
#include "platform/memory/PageMemory.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::vbscript {

namespace {

using namespace oleaut;

// Steps of one match (backtracking points): about a tenth of a second of
// the JIT's work, far beyond what a match that ends at all needs.
constexpr std::uint32_t kMatchLimit = 10'000'000;
// The interpreter's backtracking depth and heap (KiB), where JIT is not had.
constexpr std::uint32_t kDepthLimit = 1'000'000;
constexpr std::uint32_t kHeapLimit = 64 * 1024;
// The JIT's stack, one a thread: grown as needed up to its limit.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackLimit = 4 * 1024 * 1024;
// pcre2_compile's error code for memory it could not get.
constexpr int kCompileNoMemory = 121;

// Called where a search tries the pattern at a new place in the text (a
// callout opens every pattern): the steps limit holds at each place, this
// for the whole search. Ends the search once the page is out of time.
int AtNextPlace(pcre2_callout_block*, void*) {
  try {
    host::CheckDeadline();
    return 0;
  } catch (const host::PageTimeout&) {
    return PCRE2_ERROR_CALLOUT;
  }
}

// PCRE2's memory comes through operator new: charged to the page.
void* Allocate(PCRE2_SIZE size, void*) { return ::operator new(size, std::nothrow); }
void Release(void* block, void*) { ::operator delete(block); }

pcre2_jit_stack* ThreadJitStack(void*) {
  struct Stack {
    pcre2_jit_stack* stack = pcre2_jit_stack_create(kJitStackStart, kJitStackLimit, nullptr);
    ~Stack() { pcre2_jit_stack_free(stack); }
  };
  thread_local Stack stack;
  // Null (no memory) lets the JIT use 32 KiB of the machine stack.
  return stack.stack;
}

// The contexts every pattern is compiled and matched with, made once.
class Contexts {
 public:
  pcre2_general_context* general = pcre2_general_context_create(Allocate, Release, nullptr);
  pcre2_compile_context* compile = pcre2_compile_context_create(general);
  pcre2_match_context* match = pcre2_match_context_create(general);

  Contexts() {
    if (general == nullptr || compile == nullptr || match == nullptr) {
      Free();
      throw std::bad_alloc();
    }
    pcre2_set_match_limit(match, kMatchLimit);
    pcre2_set_depth_limit(match, kDepthLimit);
    pcre2_set_heap_limit(match, kHeapLimit);
    pcre2_set_callout(match, AtNextPlace, nullptr);
    pcre2_jit_stack_assign(match, ThreadJitStack, nullptr);
  }
  ~Contexts() { Free(); }

 private:
  void Free() noexcept {
    pcre2_match_context_free(match);
    pcre2_compile_context_free(compile);
    pcre2_general_context_free(general);
  }
};

const Contexts& Pcre() {
  static const Contexts contexts;
  return contexts;
}

struct CodeDeleter {
  void operator()(pcre2_code* code) const noexcept {
    std::size_t jitSize = 0;
    pcre2_pattern_info(code, PCRE2_INFO_JITSIZE, &jitSize);
    memory::Release(jitSize);
    pcre2_code_free(code);
  }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const noexcept { pcre2_match_data_free(data); }
};

// A pattern compiled, with the match data its searches share.
struct Compiled {
  std::unique_ptr<pcre2_code, CodeDeleter> code;
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> data;
  std::uint32_t groups = 0;
};

Compiled Compile(std::string_view pattern, bool ignoreCase, bool multiline) {
  const TranslatedPattern translated = TranslatePattern(pattern, multiline);
  const std::string text = "(?C)(?:" + translated.text + ")";
  const std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_MATCH_UNSET_BACKREF |
                                (ignoreCase ? PCRE2_CASELESS : 0);
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), options, &error, &offset,
                                   Pcre().compile);
  if (code == nullptr) {
    if (error == kCompileNoMemory) throw std::bad_alloc();
    RaiseRegExpError(kRegExpSyntax);
  }
  // The JIT's code is charged too, as the page's; without it the
  // interpreter runs the pattern.
  if (pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0) {
    std::size_t jitSize = 0;
    pcre2_pattern_info(code, PCRE2_INFO_JITSIZE, &jitSize);
    if (!memory::Charge(jitSize)) {
      pcre2_code_free(code);
      throw std::bad_alloc();
    }
  }
  Compiled compiled;
  compiled.code.reset(code);
  compiled.data.reset(pcre2_match_data_create_from_pattern(code, nullptr));
  if (!compiled.data) throw std::bad_alloc();
  compiled.groups = translated.groups;
  return compiled;
}

[[noreturn]] void RaiseMatchFailure(int result) {
  switch (result) {
    case PCRE2_ERROR_NOMEMORY: throw std::bad_alloc();
    case PCRE2_ERROR_CALLOUT: throw host::PageTimeout();
    case PCRE2_ERROR_MATCHLIMIT:
    case PCRE2_ERROR_DEPTHLIMIT:
    case PCRE2_ERROR_HEAPLIMIT:
    case PCRE2_ERROR_JIT_STACKLIMIT:
      throw AutomationError(kOutOfStackSpace, kRuntimeSource,
                            "Out of stack space: the regular expression backtracks too much on this text");
    default: RaiseRuntimeError(kInvalidProcedureCall);
  }
}

// A replacement text read once: literal runs and the parts of a match.
class Replacement {
 public:
  Replacement(std::string_view text, std::uint32_t groups) {
    std::size_t literal = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
      if (text[i] != '$') continue;
      const char c = text[i + 1];
      std::int32_t part = kNone;
      std::size_t length = 2;
      if (c == '$') {
        part = kDollar;
      } else if (c == '&') {
        part = 0;
      } else if (c == '`') {
        part = kBefore;
      } else if (c == '\'') {
        part = kAfter;
      } else if (c >= '0' && c <= '9') {
        const std::uint32_t one = static_cast<std::uint32_t>(c - '0');
        const char next = i + 2 < text.size() ? text[i + 2] : '\0';
        const std::uint32_t two = one * 10 + static_cast<std::uint32_t>(next - '0');
        if (next >= '0' && next <= '9' && two >= 1 && two <= groups) part = static_cast<std::int32_t>(two), length = 3;
        else if (one >= 1 && one <= groups) part = static_cast<std::int32_t>(one);
      }
      if (part == kNone) continue;
      parts_.push_back({text.substr(literal, i - literal), part});
      literal = i + length;
      i = literal - 1;
    }
    parts_.push_back({text.substr(literal), kNone});
  }

  // Appends the replacement of the match `ovector` of `subject` to `out`.
  void Append(std::string& out, std::string_view subject, const PCRE2_SIZE* ovector) const {
    for (const Part& part : parts_) {
      out += part.literal;
      switch (part.part) {
        case kNone: break;
        case kDollar: out += '$'; break;
        case kBefore: out += subject.substr(0, ovector[0]); break;
        case kAfter: out += subject.substr(ovector[1]); break;
        default: {
          const auto group = static_cast<std::size_t>(part.part);
          if (ovector[2 * group] != PCRE2_UNSET)
            out += subject.substr(ovector[2 * group], ovector[2 * group + 1] - ovector[2 * group]);
        }
      }
    }
  }

 private:
  static constexpr std::int32_t kNone = -1, kDollar = -2, kBefore = -3, kAfter = -4;
  struct Part {
    std::string_view literal;  // text before the part
    std::int32_t part;         // a group (0: the match) or one of the above
  };
  std::vector<Part> parts_;
};

// An argument's text, read in place when it is a string: a search does not
// copy the text it searches.
class ArgumentText {
 public:
  explicit ArgumentText(const Variant& value) {
    if (const auto* text = value.If<std::string>()) {
      view_ = *text;
    } else {
      converted_ = VariantTo<std::string>(value);
      view_ = converted_;
    }
  }
  ArgumentText(const ArgumentText&) = delete;
  ArgumentText& operator=(const ArgumentText&) = delete;
  std::string_view View() const { return view_; }

 private:
  std::string converted_;
  std::string_view view_;
};

// What Replace writes for a value: Booleans as numbers (True is "-1").
std::string ReplacementText(const Variant& with) {
  if (with.Type() == VarType::Boolean) return ToString(Variant(ToLong(with)));
  return VariantTo<std::string>(with);
}

enum Member : DISPID {
  kPattern = 10001, kIgnoreCase, kGlobal, kExecute, kTest, kReplace, kMultiline,
};

constexpr std::array<std::string_view, 1> kValue{"value"};
constexpr std::array<std::string_view, 1> kSource{"sourceString"};
constexpr std::array<std::string_view, 2> kReplaceParams{"sourceString", "replaceVar"};

class RegExp : public IDispatch {
 public:
  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return Table().GetIDOfName(name); }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    return Table().Invoke(*this, id, kind, args);
  }

  std::string get_Pattern() const { return pattern_; }
  void put_Pattern(std::string pattern) {
    if (pattern == pattern_) return;
    pattern_ = std::move(pattern);
    compiled_ = {};
  }
  VariantBool get_Global() const { return ToVariantBool(global_); }
  void put_Global(VariantBool global) { global_ = IsTrue(global); }
  VariantBool get_IgnoreCase() const { return ToVariantBool(ignoreCase_); }
  void put_IgnoreCase(VariantBool ignoreCase) { SetFlag(ignoreCase_, ignoreCase); }
  VariantBool get_Multiline() const { return ToVariantBool(multiline_); }
  void put_Multiline(VariantBool multiline) { SetFlag(multiline_, multiline); }

  VariantBool Test(Variant subject) {
    bool found = false;
    ForEachMatch(ArgumentText(subject).View(), false, [&](const PCRE2_SIZE*) { found = true; });
    return ToVariantBool(found);
  }

  Variant Execute(Variant subjectValue) {
    const ArgumentText argument(subjectValue);
    const std::string_view subject = argument.View();
    std::vector<MatchRecord> matches;
    const std::uint32_t groups = Current().groups;
    // Characters are counted from the last match on, not from the start.
    std::size_t countedBytes = 0;
    std::size_t countedChars = 0;
    ForEachMatch(subject, global_, [&](const PCRE2_SIZE* ovector) {
      const std::string_view value = subject.substr(ovector[0], ovector[1] - ovector[0]);
      countedChars += CharCount(subject.substr(countedBytes, ovector[0] - countedBytes));
      countedBytes = ovector[0];
      MatchRecord record;
      record.value = value;
      record.firstIndex = static_cast<Long>(countedChars);
      record.length = static_cast<Long>(CharCount(value));
      record.subMatches.resize(groups);
      for (std::uint32_t g = 1; g <= groups; ++g)
        if (ovector[2 * g] != PCRE2_UNSET)
          record.subMatches[g - 1] = std::string(subject.substr(ovector[2 * g], ovector[2 * g + 1] - ovector[2 * g]));
      matches.push_back(std::move(record));
    });
    return ObjectRef(MakeMatches(std::move(matches)));
  }

  std::string Replace(Variant subjectValue, Variant with) {
    const ArgumentText argument(subjectValue);
    const std::string_view subject = argument.View();
    const std::string text = ReplacementText(with);
    const Replacement replacement(text, Current().groups);
    std::string out;
    std::size_t copied = 0;
    ForEachMatch(subject, global_, [&](const PCRE2_SIZE* ovector) {
      out += subject.substr(copied, ovector[0] - copied);
      replacement.Append(out, subject, ovector);
      copied = ovector[1];
    });
    out += subject.substr(copied);
    return out;
  }

 private:
  void SetFlag(bool& flag, VariantBool value) {
    if (IsTrue(value) == flag) return;
    flag = IsTrue(value);
    compiled_ = {};
  }

  const Compiled& Current() {
    if (!compiled_.code) compiled_ = Compile(pattern_, ignoreCase_, multiline_);
    return compiled_;
  }

  // Calls `found` with the offsets of each match of `subject`, in order:
  // every one when `all`, else the first.
  template <class Found>
  void ForEachMatch(std::string_view subject, bool all, Found found) {
    const Compiled& compiled = Current();
    const auto* text = reinterpret_cast<PCRE2_SPTR>(subject.data());
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(compiled.data.get());
    for (PCRE2_SIZE start = 0; start <= subject.size();) {
      const int result = pcre2_match(compiled.code.get(), text, subject.size(), start, 0, compiled.data.get(),
                                     Pcre().match);
      if (result == PCRE2_ERROR_NOMATCH) return;
      if (result < 0) RaiseMatchFailure(result);
      found(ovector);
      if (!all) return;
      start = ovector[1];
      if (ovector[1] == ovector[0]) {
        // After an empty match, the next search starts a character on.
        ++start;
        while (start < subject.size() && (static_cast<unsigned char>(subject[start]) & 0xC0) == 0x80) ++start;
      }
    }
  }

  static const DispatchTable<RegExp>& Table() {
    static const DispatchTable<RegExp> table({
        Bind<&RegExp::get_Pattern>(kPattern, "Pattern", DISPATCH_PROPERTYGET),
        Bind<&RegExp::put_Pattern>(kPattern, "Pattern", DISPATCH_PROPERTYPUT, kValue),
        Bind<&RegExp::get_IgnoreCase>(kIgnoreCase, "IgnoreCase", DISPATCH_PROPERTYGET),
        Bind<&RegExp::put_IgnoreCase>(kIgnoreCase, "IgnoreCase", DISPATCH_PROPERTYPUT, kValue),
        Bind<&RegExp::get_Global>(kGlobal, "Global", DISPATCH_PROPERTYGET),
        Bind<&RegExp::put_Global>(kGlobal, "Global", DISPATCH_PROPERTYPUT, kValue),
        Bind<&RegExp::Execute>(kExecute, "Execute", DISPATCH_METHOD, kSource),
        Bind<&RegExp::Test>(kTest, "Test", DISPATCH_METHOD, kSource),
        Bind<&RegExp::Replace>(kReplace, "Replace", DISPATCH_METHOD, kReplaceParams),
        Bind<&RegExp::get_Multiline>(kMultiline, "Multiline", DISPATCH_PROPERTYGET),
        Bind<&RegExp::put_Multiline>(kMultiline, "Multiline", DISPATCH_PROPERTYPUT, kValue),
    });
    return table;
  }
  static const InterfaceDesc& Description() {
    static const InterfaceDesc description{"IRegExp2", GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }

  std::string pattern_;
  bool global_ = false;
  bool ignoreCase_ = false;
  bool multiline_ = false;
  Compiled compiled_;  // empty until used after a change
};

}  // namespace

std::shared_ptr<IDispatch> CreateRegExp() { return std::make_shared<RegExp>(); }

}  // namespace kelvane::host::vbscript
