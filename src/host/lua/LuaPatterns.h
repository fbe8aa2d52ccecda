#pragma once
// Lua's pattern functions (string.find, string.match, string.gmatch and
// string.gsub) with the same results and errors as Lua's own, but with a
// matcher that counts its steps and calls a check every few thousand of
// them. Backtracking can take minutes on a short subject; the check is what
// lets a page's time limit stop it (it ends the call by raising an error).

#include <lua.hpp>

namespace kelvane::host {

using PatternCheck = void (*)(lua_State* L);

// Sets find, match, gmatch and gsub in the table at the top of L's stack.
void InstallPatternFunctions(lua_State* L, PatternCheck check);

}  // namespace kelvane::host
