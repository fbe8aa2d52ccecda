#include "host/lua/LuaIntrinsics.h"

#include <string_view>

#include "host/lua/LuaObjects.h"
#include "host/lua/LuaText.h"

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
}

bool IsPageEnd(lua_State* L, int index) {
  return lua_islightuserdata(L, index) && lua_touserdata(L, index) == &kPageEnded;
}

}  // namespace kelvane::host
