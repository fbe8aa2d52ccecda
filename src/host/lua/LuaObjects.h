#pragma once
// Automation values and objects in Lua. Objects are userdata reached by
// member name: `img.PlotWidth = 200`, `img:PlotLine(0, 0, 10, 10)`. An
// automation error becomes a Lua error value with number, source,
// description and line, which pcall can catch.

#include <lua.hpp>

#include <functional>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host {

// Registers the metatables, hidden from and unchangeable by pages; once per
// Lua state.
void RegisterLuaObjects(lua_State* L);

// Pushes the value for Lua: Empty and Nothing as nil, Null as the Null value,
// whole numbers as integers, Single and Double as floats, a date as its
// text, a byte array as a string of its bytes, an object as a wrapped object.
void PushVariant(lua_State* L, const oleaut::Variant& value);
// The Lua value at `index` as a variant: nil Empty, integers that fit 32
// bits Long, other numbers Double, strings String, booleans Boolean, Null,
// wrapped objects. 13 for anything else.
oleaut::Variant ToVariant(lua_State* L, int index);
// Pushes the Null value.
void PushNull(lua_State* L);

// Whether the value at `index` is an automation error raised by
// RaiseLuaError: a table with the fields number, source, description and
// where.
bool IsAutomationError(lua_State* L, int index);

// Raises `error` as a Lua error value, named with the page line in progress.
[[noreturn]] void RaiseLuaError(lua_State* L, const oleaut::AutomationError& error);

// Runs `call`, turning an automation error it raises into a Lua error, and
// any other C++ exception too (running out of memory as 7), so that none
// crosses Lua's frames; then runs the after-call function (the host checks
// there whether the page has ended).
int CallAutomation(lua_State* L, const std::function<int()>& call);

// Called after every call into an automation object returns.
void SetAfterCall(lua_State* L, void (*after)(lua_State*));

}  // namespace kelvane::host
