#pragma once
// Values as text for pages, as Lua's tostring gives them, except that a
// value with no text of its own (a table, function or userdata without
// __tostring) shows a number in place of its address: "table: 1",
// "function: 2", numbered in the order the page first shows them, the same
// number each time for the same value. An address would tell a visitor where
// the process keeps its heap and its code.

#include <lua.hpp>

#include <cstddef>

namespace kelvane::host {

// Pushes the text of the value at `index` and returns it, with its length
// in `*size` when `size` is not null; raises an error when its __tostring
// gives no string.
const char* PushText(lua_State* L, int index, std::size_t* size);

// Replaces tostring in the global table, and string.format in the string
// library, so that %s shows values as PushText does and %p gives the same
// number as text, or "(null)" for a value that has no identity.
void InstallTextFunctions(lua_State* L);

}  // namespace kelvane::host
