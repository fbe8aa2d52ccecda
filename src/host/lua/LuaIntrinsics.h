#pragma once
// The globals a .ksp page finds: the intrinsic objects (Request, Response,
// Server, Session, Application), Null and ADO's constants, and the run of
// the page they serve.

#include <lua.hpp>

#include "host/pages/Intrinsics.h"
#include "host/pages/PageContext.h"

namespace kelvane::host {

// Makes `context` the one that the state's functions serve.
void BindContext(lua_State* L, PageContext& context);
PageContext& Context(lua_State* L);

// Sets the intrinsic objects and Null as globals, and `writer`, the
// function that text outside <% %> and <%= %> values are written with.
// ADO's constants (adOpenStatic...) are read through the metatable of the
// globals, so a page's own global of the same name wins.
void InstallIntrinsics(lua_State* L, const Intrinsics& intrinsics, const char* writer);

// Whether the error value at `index` is the one that ends a page whose
// response has ended (Response.End, or a component's End): a success.
bool IsPageEnd(lua_State* L, int index);

}  // namespace kelvane::host
