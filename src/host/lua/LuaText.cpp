#include "host/lua/LuaText.h"

#include <string>
#include <string_view>

namespace kelvane::host {

namespace {

// The registry field of the table that numbers the values shown so far. Its
// keys are weak, so that it keeps no value alive; key 0 holds the last
// number given.
constexpr char kNumbers[] = "kelvane.numbers";

// The number that stands for the value at `index`, given now if it has none.
lua_Integer NumberOf(lua_State* L, int index) {
  index = lua_absindex(L, index);
  lua_getfield(L, LUA_REGISTRYINDEX, kNumbers);
  lua_pushvalue(L, index);
  if (lua_rawget(L, -2) == LUA_TNUMBER) {
    const lua_Integer number = lua_tointeger(L, -1);
    lua_pop(L, 2);
    return number;
  }
  lua_pop(L, 1);
  lua_rawgeti(L, -1, 0);
  const lua_Integer number = lua_tointeger(L, -1) + 1;
  lua_pop(L, 1);
  lua_pushinteger(L, number);
  lua_rawseti(L, -2, 0);
  lua_pushvalue(L, index);
  lua_pushinteger(L, number);
  lua_rawset(L, -3);
  lua_pop(L, 1);
  return number;
}

// Whether Lua would show the value at `index` by its address: one with an
// identity and no __tostring.
bool ShowsAddress(lua_State* L, int index) {
  switch (lua_type(L, index)) {
    case LUA_TTABLE:
    case LUA_TFUNCTION:
    case LUA_TUSERDATA:
    case LUA_TLIGHTUSERDATA:
    case LUA_TTHREAD:
      if (luaL_getmetafield(L, index, "__tostring") == LUA_TNIL) return true;
      lua_pop(L, 1);
      return false;
    default:
      return false;
  }
}

int ToString(lua_State* L) {
  luaL_checkany(L, 1);
  PushText(L, 1, nullptr);
  return 1;
}

// string.format, with the arguments of %s and %p made text first; Lua's own
// is upvalue 1. A conversion is read as Lua reads it: '%', flags, width and
// precision, then one letter, which takes the next argument.
int Format(lua_State* L) {
  std::size_t length = 0;
  const char* chars = luaL_checklstring(L, 1, &length);
  const std::string_view format(chars, length);
  const int top = lua_gettop(L);
  std::string rewritten;  // the format with each %p made %s, once there is one
  int arg = 1;
  for (auto at = format.find('%'); at != std::string_view::npos && arg < top;
       at = format.find('%', at + 1)) {
    if (++at < length && format[at] == '%') continue;
    at = format.find_first_not_of("-+#0 123456789.", at);
    if (at == std::string_view::npos) break;
    ++arg;
    if (format[at] == 's' && ShowsAddress(L, arg)) {
      PushText(L, arg, nullptr);
      lua_replace(L, arg);
    } else if (format[at] == 'p') {
      if (rewritten.empty()) rewritten = format;
      rewritten[at] = 's';
      if (lua_topointer(L, arg) == nullptr)
        lua_pushliteral(L, "(null)");
      else
        lua_pushfstring(L, "%I", static_cast<LUAI_UACINT>(NumberOf(L, arg)));
      lua_replace(L, arg);
    }
  }
  if (!rewritten.empty()) {
    lua_pushlstring(L, rewritten.data(), rewritten.size());
    lua_replace(L, 1);
  }
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_insert(L, 1);
  lua_call(L, top, 1);
  return 1;
}

}  // namespace

const char* PushText(lua_State* L, int index, std::size_t* size) {
  if (!ShowsAddress(L, index)) return luaL_tolstring(L, index, size);
  index = lua_absindex(L, index);
  const int kind = luaL_getmetafield(L, index, "__name");
  const char* name = kind == LUA_TSTRING ? lua_tostring(L, -1) : luaL_typename(L, index);
  lua_pushfstring(L, "%s: %I", name, static_cast<LUAI_UACINT>(NumberOf(L, index)));
  if (kind != LUA_TNIL) lua_remove(L, -2);
  return lua_tolstring(L, -1, size);
}

void InstallTextFunctions(lua_State* L) {
  lua_createtable(L, 0, 0);
  lua_createtable(L, 0, 1);
  lua_pushliteral(L, "k");
  lua_setfield(L, -2, "__mode");
  lua_setmetatable(L, -2);
  lua_setfield(L, LUA_REGISTRYINDEX, kNumbers);
  lua_pushcfunction(L, ToString);
  lua_setglobal(L, "tostring");
  lua_getglobal(L, LUA_STRLIBNAME);
  lua_getfield(L, -1, "format");
  lua_pushcclosure(L, Format, 1);
  lua_setfield(L, -2, "format");
  lua_pop(L, 1);
}

}  // namespace kelvane::host
