// .ksp pages: each run in a Lua state of its own, held to the page's time
// and memory, with the page compiled once per thread.

#include "host/pages/PageLanguages.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "host/lua/KspTranslator.h"
#include "host/lua/LuaIntrinsics.h"
#include "host/lua/LuaObjects.h"
#include "host/lua/LuaPatterns.h"
#include "host/lua/LuaText.h"
#include "host/pages/SiteFiles.h"
#include "platform/memory/PageMemory.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kWriter[] = "__write";
// The longest description a failure page repeats; a page's error value can
// be as large as its memory allows.
constexpr std::size_t kMaxDescription = 1024;
// Instructions between two looks at the clock.
constexpr int kInstructionsPerCheck = 1000;
// Elements table.move moves between two looks at the clock.
constexpr lua_Integer kMovesPerCheck = 4096;

// Every byte a page's state holds is charged to the thread's page memory.
void* Allocate(void*, void* block, std::size_t oldSize, std::size_t newSize) {
  const std::size_t old = block != nullptr ? oldSize : 0;
  if (newSize == 0) {
    std::free(block);
    memory::Release(old);
    return nullptr;
  }
  if (newSize > old && !memory::Charge(newSize - old)) return nullptr;
  void* resized = std::realloc(block, newSize);
  if (resized == nullptr) {
    if (newSize > old) memory::Release(newSize - old);
    return nullptr;
  }
  if (newSize < old) memory::Release(old - newSize);
  return resized;
}

bool PastDeadline(lua_State* L) { return Clock::now() > Context(L).deadline; }

// Stops a page past its deadline, again and again, so that pcall cannot hold it.
void CheckTime(lua_State* L, lua_Debug*) {
  if (PastDeadline(L)) luaL_error(L, "the page ran past its time limit");
}

// pcall and xpcall for pages: like Lua's own, but what must end the page
// (its time running out, memory running out, the response ending) passes
// through them.

// Calls the function at `base` with the values above it, leaving `results`
// results (LUA_MULTRET: all) from `base`. False, with the error value
// there instead, when it fails in a way the page may catch.
bool CallCaught(lua_State* L, int base, int results) {
  const int status = lua_pcall(L, lua_gettop(L) - base, results, 0);
  if (status == LUA_OK) return true;
  if (status == LUA_ERRMEM || PastDeadline(L) || IsPageEnd(L, -1)) lua_error(L);
  return false;
}

// Puts `ok` before the values from `base` up, and returns their count.
int Outcome(lua_State* L, int base, bool ok) {
  lua_pushboolean(L, ok);
  lua_insert(L, base);
  return lua_gettop(L) - base + 1;
}

int PagePcall(lua_State* L) {
  luaL_checkany(L, 1);
  return Outcome(L, 1, CallCaught(L, 1, LUA_MULTRET));
}

// Lua would run xpcall's message handler where the error is raised, and an
// error the time limit raises is raised inside the instruction hook, where
// hooks are off: a handler run there could loop beyond any limit. So no page
// state ever has a message handler: the handler is called as an ordinary
// function once the failed call has unwound, with the error value, and
// xpcall gives what it returns. Pages have no debug library, so a handler
// misses nothing that the unwinding took away. An error in the handler is
// xpcall's second result, in place of Lua's "error in error handling".
int PageXpcall(lua_State* L) {
  luaL_checktype(L, 2, LUA_TFUNCTION);
  lua_pushvalue(L, 2);  // the handler below the function and its arguments
  lua_remove(L, 2);
  lua_insert(L, 1);
  if (CallCaught(L, 2, LUA_MULTRET)) {
    lua_remove(L, 1);
    return Outcome(L, 1, true);
  }
  CallCaught(L, 1, 1);
  return Outcome(L, 1, false);
}

// setmetatable for pages: finalizers (__gc) are refused, because Lua runs
// them with the instruction hook off, beyond any time limit. The original
// setmetatable is upvalue 1.
int PageSetmetatable(lua_State* L) {
  if (lua_istable(L, 2)) {
    lua_pushliteral(L, "__gc");
    if (lua_rawget(L, 2) != LUA_TNIL) luaL_error(L, "pages cannot set finalizers (__gc)");
  }
  lua_settop(L, 2);
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_insert(L, 1);
  lua_call(L, 2, 1);
  return 1;
}

// table.move, looking at the clock as it goes: one call can move up to 2^63
// elements.
int PageTableMove(lua_State* L) {
  const lua_Integer from = luaL_checkinteger(L, 2);
  const lua_Integer last = luaL_checkinteger(L, 3);
  const lua_Integer to = luaL_checkinteger(L, 4);
  const int target = lua_isnoneornil(L, 5) ? 1 : 5;
  luaL_checktype(L, 1, LUA_TTABLE);
  luaL_checktype(L, target, LUA_TTABLE);
  if (last >= from) {
    luaL_argcheck(L, from > 0 || last < LUA_MAXINTEGER + from, 3, "too many elements to move");
    const lua_Integer count = last - from + 1;
    luaL_argcheck(L, to <= LUA_MAXINTEGER - count + 1, 4, "destination wrap around");
    const bool forward = to > last || to <= from || (target != 1 && !lua_compare(L, 1, target, LUA_OPEQ));
    for (lua_Integer i = 0; i < count; ++i) {
      if (i % kMovesPerCheck == 0) CheckTime(L, nullptr);
      const lua_Integer step = forward ? i : count - 1 - i;
      lua_geti(L, 1, from + step);
      lua_seti(L, target, to + step);
    }
  }
  lua_pushvalue(L, target);
  return 1;
}

int Writer(lua_State*, const void* bytes, std::size_t size, void* out) {
  try {
    static_cast<std::string*>(out)->append(static_cast<const char*>(bytes), size);
    return 0;
  } catch (const std::bad_alloc&) {
    return 1;
  }
}

// A page compiled once per thread, kept as bytecode and loaded into each
// run's state; compiled again when its file changes.
struct CompiledPage {
  FileStamp stamp;
  std::string bytecode;
};

thread_local std::map<std::string, CompiledPage> compiledPages;

// Pushes the page's function, compiling it when its file has changed.
void PushPage(lua_State* L, const fs::path& page, const struct stat& status) {
  CompiledPage& compiled = compiledPages[page.string()];
  const std::string chunkName = "@" + page.filename().string();
  if (!compiled.bytecode.empty() && compiled.stamp == FileStamp::Of(status)) {
    if (luaL_loadbufferx(L, compiled.bytecode.data(), compiled.bytecode.size(), chunkName.c_str(),
                         "b") != LUA_OK)
      lua_error(L);
    return;
  }
  compiled = CompiledPage{};
  FileStamp stamp;
  const std::optional<std::string> text = ReadSiteFile(page, &stamp);
  if (!text) luaL_error(L, "%s: the page cannot be read", page.filename().c_str());
  const TranslatedPage translated = TranslatePage(*text, kWriter);
  if (!translated.error.empty())
    luaL_error(L, "%s: %s", page.filename().c_str(), translated.error.c_str());
  if (luaL_loadbufferx(L, translated.lua.data(), translated.lua.size(), chunkName.c_str(), "t") !=
      LUA_OK)
    lua_error(L);
  std::string bytecode;
  if (lua_dump(L, Writer, &bytecode, 0) == 0) compiled = {stamp, std::move(bytecode)};
}

void OpenLibraries(lua_State* L) {
  luaL_requiref(L, LUA_GNAME, luaopen_base, 1);
  luaL_requiref(L, LUA_STRLIBNAME, luaopen_string, 1);
  luaL_requiref(L, LUA_TABLIBNAME, luaopen_table, 1);
  luaL_requiref(L, LUA_MATHLIBNAME, luaopen_math, 1);
  luaL_requiref(L, LUA_UTF8LIBNAME, luaopen_utf8, 1);
  lua_pop(L, 4);
  for (const char* unsafe : {"dofile", "loadfile", "load", "require", "print", "collectgarbage"}) {
    lua_pushnil(L);
    lua_setfield(L, -2, unsafe);
  }
  lua_pushcfunction(L, PagePcall);
  lua_setfield(L, -2, "pcall");
  lua_pushcfunction(L, PageXpcall);
  lua_setfield(L, -2, "xpcall");
  lua_getfield(L, -1, "setmetatable");
  lua_pushcclosure(L, PageSetmetatable, 1);
  lua_setfield(L, -2, "setmetatable");
  lua_pop(L, 1);
  lua_getglobal(L, LUA_TABLIBNAME);
  lua_pushcfunction(L, PageTableMove);
  lua_setfield(L, -2, "move");
  lua_pop(L, 1);
  // Pattern matching can backtrack for minutes inside one call; the
  // string table is also the __index of strings, so s:find is covered too.
  lua_getglobal(L, LUA_STRLIBNAME);
  InstallPatternFunctions(L, [](lua_State* state) { CheckTime(state, nullptr); });
  lua_pop(L, 1);
  InstallTextFunctions(L);
}

// The run of a page, inside the state's one protected call.
struct PageRun {
  const fs::path& page;
  const struct stat& status;
  const Intrinsics& intrinsics;
};

int RunPage(lua_State* L) {
  const auto& run = *static_cast<const PageRun*>(lua_touserdata(L, 1));
  lua_settop(L, 0);
  OpenLibraries(L);
  RegisterLuaObjects(L);
  InstallIntrinsics(L, run.intrinsics, kWriter);
  PushPage(L, run.page, run.status);
  lua_call(L, 0, 0);
  return 0;
}

void AppendCapped(std::string& text, std::string_view value) {
  if (value.size() <= kMaxDescription) {
    text.append(value);
  } else {
    text.append(value.substr(0, kMaxDescription)).append("...");
  }
}

// `value` as failure text: strings and numbers as they are, anything else
// by its type, so that no metamethod of the page's runs.
std::string ValueText(lua_State* L, int index) {
  if (lua_type(L, index) != LUA_TSTRING && lua_type(L, index) != LUA_TNUMBER)
    return std::string("a ") + luaL_typename(L, index) + " value";
  std::size_t size = 0;
  const char* value = lua_tolstring(L, index, &size);
  std::string text;
  AppendCapped(text, {value, size});
  return text;
}

// The line that `where` names, when it starts "PAGE:LINE:" with the page's
// name, as Lua's places do; 0 otherwise.
int LineIn(std::string_view where, std::string_view page) {
  if (!where.starts_with(page) || !where.substr(page.size()).starts_with(':')) return 0;
  where.remove_prefix(page.size() + 1);
  int line = 0;
  const auto [end, error] = std::from_chars(where.data(), where.data() + where.size(), line);
  return error == std::errc() && end != where.data() + where.size() && *end == ':' ? line : 0;
}

// Describes the failure value at index 1 into the PageFailure at index 2 (a
// light userdata), whose page is set: an automation error by its source,
// number, description and place; anything else as Lua's message. Fields
// are read raw.
int Describe(lua_State* L) {
  auto& failure = *static_cast<PageFailure*>(lua_touserdata(L, 2));
  const auto field = [&](const char* name) {
    lua_pushstring(L, name);
    lua_rawget(L, 1);
  };
  std::string where;
  if (IsAutomationError(L, 1)) {
    field("source");
    failure.source = ValueText(L, -1);
    field("number");
    lua_Integer number = 0;
    if (lua_isinteger(L, -1) && (number = lua_tointeger(L, -1)) >= INT32_MIN && number <= INT32_MAX)
      failure.number = static_cast<std::int32_t>(number);
    field("description");
    failure.description = ValueText(L, -1);
    field("where");
    where = ValueText(L, -1);
  } else {
    failure.source = "Lua";
    failure.description = ValueText(L, 1);
    where = failure.description;
  }
  failure.line = LineIn(where, failure.page);
  return 0;
}

PageFailure DescribeFailure(lua_State* L, const PageContext& context) {
  PageFailure failure;
  failure.page = context.page.filename().string();
  lua_pushcfunction(L, Describe);
  lua_insert(L, -2);
  lua_pushlightuserdata(L, &failure);
  if (lua_pcall(L, 2, 0, 0) != LUA_OK) {
    failure.source = "Lua";
    failure.description = "an error";
  }
  failure.file = context.page.lexically_relative(context.root).generic_string();
  return failure;
}

struct CloseState {
  void operator()(lua_State* L) const { lua_close(L); }
};

}  // namespace

PageCheck CheckKspPage(const fs::path& root, const fs::path& page) {
  PageCheck check;
  const std::string path = page.lexically_relative(root).generic_string();
  const std::string name = page.filename().string();
  const auto fail = [&](std::string source, std::string description, int line) {
    check.error = PageFailure{std::move(source), std::nullopt, std::move(description), path, line, name};
    return check;
  };
  std::optional<std::string> text = ReadSiteFile(page);
  if (!text) return fail("Kelvane", "the page cannot be read", 0);
  const TranslatedPage translated = TranslatePage(*text, kWriter);
  check.files.push_back({path, *std::move(text), {}});
  if (!translated.error.empty()) return fail("Lua", translated.error, 0);
  const std::unique_ptr<lua_State, CloseState> state(luaL_newstate());
  if (!state) return fail("Lua", "not enough memory", 0);
  if (luaL_loadbufferx(state.get(), translated.lua.data(), translated.lua.size(), ("@" + name).c_str(), "t") !=
      LUA_OK) {
    const std::string message = lua_tostring(state.get(), -1);
    return fail("Lua", message, LineIn(message, name));
  }
  return check;
}

std::optional<PageFailure> RunKspPage(PageContext& context, const Intrinsics& intrinsics,
                                      const struct stat& status) {
  // Each run has a state of its own, closed at the end of the run, so that
  // nothing a page leaves behind reaches the next one.
  std::unique_ptr<lua_State, CloseState> state(lua_newstate(Allocate, nullptr));
  if (!state) return PageFailure{"Lua", std::nullopt, "not enough memory", {}, 0, context.page.filename().string()};
  lua_State* L = state.get();
  BindContext(L, context);
  lua_sethook(L, CheckTime, LUA_MASKCOUNT, kInstructionsPerCheck);
  const PageRun run{context.page, status, intrinsics};
  lua_pushcfunction(L, RunPage);
  lua_pushlightuserdata(L, const_cast<PageRun*>(&run));
  if (lua_pcall(L, 1, 0, 0) != LUA_OK && !IsPageEnd(L, -1)) return DescribeFailure(L, context);
  return std::nullopt;
}

}  // namespace kelvane::host
