// Lua's pattern functions over 100 KB of text: Lua's own (argument 0) and
// ours, which also count their steps for the page's time limit (argument 1).

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "host/lua/LuaPatterns.h"

namespace {

struct CloseState {
  void operator()(lua_State* L) const { lua_close(L); }
};

// Runs `body` (a Lua function body over the local `text`) in a state with
// Lua's string functions or ours.
void RunPatterns(benchmark::State& state, const char* body) {
  std::unique_ptr<lua_State, CloseState> lua(luaL_newstate());
  lua_State* L = lua.get();
  luaL_openlibs(L);
  if (state.range(0) == 1) {
    lua_getglobal(L, LUA_STRLIBNAME);
    kelvane::host::InstallPatternFunctions(L, [](lua_State*) {});
    lua_pop(L, 1);
  }
  const std::string chunk = R"(
    local words = {"the", "quick", "brown", "fox", "jumps", "over", "lazy", "dogs", "at", "2026,", "and", "then:"}
    local parts, size, i = {}, 0, 0
    while size < 100000 do
      i = i + 1
      local word = words[(i * 7 + i // 3) % #words + 1]
      parts[#parts + 1] = word
      size = size + #word + 1
    end
    local text = table.concat(parts, " ")
    return function() )" + std::string(body) +
                            " end";
  if (luaL_dostring(L, chunk.c_str()) != LUA_OK) {
    state.SkipWithError(lua_tostring(L, -1));
    return;
  }
  for (auto _ : state) {
    lua_pushvalue(L, -1);
    if (lua_pcall(L, 0, 1, 0) != LUA_OK) {
      state.SkipWithError(lua_tostring(L, -1));
      return;
    }
    lua_pop(L, 1);
  }
  state.SetBytesProcessed(state.iterations() * 100000);
}

void BM_PatternGsubWords(benchmark::State& state) {
  RunPatterns(state, R"~(return (text:gsub("(%w+)", "<%1>")))~");
}
void BM_PatternGsubWord(benchmark::State& state) {
  RunPatterns(state, R"~(return (text:gsub("lazy", "idle")))~");
}
void BM_PatternGmatchPairs(benchmark::State& state) {
  RunPatterns(state,
              R"~(local n = 0 for a, b in text:gmatch("(%a+) (%a+)") do n = n + 1 end return n)~");
}
void BM_PatternFindMissing(benchmark::State& state) {
  RunPatterns(state, R"~(return text:find("[xz]%d+"))~");
}
BENCHMARK(BM_PatternGsubWords)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PatternGsubWord)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PatternGmatchPairs)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PatternFindMissing)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
