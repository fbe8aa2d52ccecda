#include "host/lua/LuaIntrinsics.h"

#include <optional>
#include <string_view>

#include "host/lua/LuaObjects.h"
#include "host/lua/LuaText.h"
#include "host/objects/adodb/AdoConstants.h"

namespace kelvane::host {

namespace {

// The error value that ends a page whose response has ended: a light
// userdata no page can make, compared without allocating.
constexpr char kPageEnded = 0;

// Ends the page once the call that ended the response has returned.
void EndIfEnded(lua_State* L) {
  if (!Context(L).response->Ended()) return;
  lua_pushlightuserdata(L, const_cast<char*>(&kPageEnded));
  lua_error(L);
}

// Writes text blocks and <%= %> values straight to the response, any value
// as tostring gives it; nil writes nothing.
int Write(lua_State* L) {
  if (lua_isnil(L, 1)) return 0;
  std::size_t size = 0;
  const char* text = PushText(L, 1, &size);
  return CallAutomation(L, [&] {
    Context(L).response->Write({text, size});
    return 0;
  });
}

// __index of the globals: a name no page set may be one of ADO's constants.
int LibraryConstant(lua_State* L) {
  std::size_t size = 0;
  const char* name = lua_type(L, 2) == LUA_TSTRING ? lua_tolstring(L, 2, &size) : nullptr;
  const auto value = name == nullptr ? std::nullopt : adodb::FindAdoConstant({name, size});
  if (value) {
    lua_pushinteger(L, *value);
  } else {
    lua_pushnil(L);
  }
  return 1;
}

}  // namespace

void BindContext(lua_State* L, PageContext& context) {
  *static_cast<PageContext**>(lua_getextraspace(L)) = &context;
}

PageContext& Context(lua_State* L) { return **static_cast<PageContext**>(lua_getextraspace(L)); }

void InstallIntrinsics(lua_State* L, const Intrinsics& intrinsics, const char* writer) {
  SetAfterCall(L, EndIfEnded);
  for (const auto& [name, object] : {std::pair{"Request", &intrinsics.request},
                                     {"Response", &intrinsics.response},
                                     {"Server", &intrinsics.server},
                                     {"Session", &intrinsics.session},
                                     {"Application", &intrinsics.application}}) {
    PushVariant(L, oleaut::Variant(*object));
    lua_setglobal(L, name);
  }
  lua_pushcfunction(L, Write);
  lua_setglobal(L, writer);
  PushNull(L);
  lua_setglobal(L, "Null");
  lua_pushglobaltable(L);
  lua_createtable(L, 0, 1);
  lua_pushcfunction(L, LibraryConstant);
  lua_setfield(L, -2, "__index");
  lua_setmetatable(L, -2);
  lua_pop(L, 1);
}

bool IsPageEnd(lua_State* L, int index) {
  return lua_islightuserdata(L, index) && lua_touserdata(L, index) == &kPageEnded;
}

}  // namespace kelvane::host
