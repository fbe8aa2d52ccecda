#include "host/lua/LuaObjects.h"

#include <exception>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "host/pages/Intrinsics.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::host {

namespace {

using oleaut::ObjectRef;
using oleaut::Variant;

constexpr char kObjectMeta[] = "kelvane.object";
constexpr char kNullMeta[] = "kelvane.null";
constexpr char kNullValue[] = "kelvane.nullvalue";
constexpr char kErrorMeta[] = "kelvane.error";
constexpr char kAfterCall[] = "kelvane.aftercall";

struct WrappedObject {
  ObjectRef object;
};

WrappedObject* Wrapped(lua_State* L, int index) {
  return static_cast<WrappedObject*>(luaL_testudata(L, index, kObjectMeta));
}

void AfterCall(lua_State* L) {
  lua_getfield(L, LUA_REGISTRYINDEX, kAfterCall);
  auto* after = reinterpret_cast<void (*)(lua_State*)>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  if (after != nullptr) after(L);
}

oleaut::IDispatch& DispatchOf(lua_State* L, WrappedObject* wrapped) {
  auto* dispatch = dynamic_cast<oleaut::IDispatch*>(wrapped->object.get());
  if (dispatch == nullptr) RaiseLuaError(L, oleaut::AutomationError(
                                              oleaut::kMemberNotFound, "Kelvane",
                                              oleaut::RuntimeErrorText(oleaut::kMemberNotFound)));
  return *dispatch;
}

bool IsMethod(const oleaut::IDispatch& object, oleaut::DISPID id) {
  const oleaut::InterfaceDesc* info = object.GetTypeInfo();
  if (info == nullptr) return false;
  for (const auto& f : info->functions)
    if (f.id == id && f.kind == oleaut::DISPATCH_METHOD) return true;
  return false;
}

// Calls member `id` of the wrapped object as `kind`, with the Lua values from
// index `first` on as its arguments; pushes what it gives.
int Call(lua_State* L, WrappedObject* wrapped, oleaut::DISPID id, std::uint16_t kind, int first) {
  std::vector<Variant> args;
  for (int i = first; i <= lua_gettop(L); ++i) args.push_back(ToVariant(L, i));
  oleaut::IDispatch& object = DispatchOf(L, wrapped);
  return CallAutomation(L, [&] {
    PushVariant(L, object.Invoke(id, kind, args));
    return 1;
  });
}

// A method of a wrapped object, called with dot or colon syntax.
int CallMethod(lua_State* L) {
  const bool colon = lua_gettop(L) >= 1 && lua_rawequal(L, 1, lua_upvalueindex(1));
  return Call(L, Wrapped(L, lua_upvalueindex(1)), static_cast<oleaut::DISPID>(lua_tointeger(L, lua_upvalueindex(2))),
              oleaut::DISPATCH_METHOD, colon ? 2 : 1);
}

int ObjectIndex(lua_State* L) {
  auto* wrapped = Wrapped(L, 1);
  const char* name = luaL_checkstring(L, 2);
  oleaut::IDispatch& object = DispatchOf(L, wrapped);
  const auto id = object.GetIDOfName(name);
  if (!id)
    RaiseLuaError(L, oleaut::AutomationError(oleaut::kMemberNotFound, "Kelvane",
                                             oleaut::RuntimeErrorText(oleaut::kMemberNotFound)));
  if (IsMethod(object, *id)) {
    lua_pushvalue(L, 1);
    lua_pushinteger(L, *id);
    lua_pushcclosure(L, CallMethod, 2);
    return 1;
  }
  return CallAutomation(L, [&] {
    PushVariant(L, object.Invoke(*id, oleaut::DISPATCH_PROPERTYGET | oleaut::DISPATCH_METHOD, {}));
    return 1;
  });
}

// object(args...): the object's default member, as a collection's item by
// name (Request.QueryString("n")) or a session's value (Session("cart")).
int ObjectCall(lua_State* L) {
  return Call(L, Wrapped(L, 1), oleaut::DISPID_VALUE, oleaut::DISPATCH_METHOD | oleaut::DISPATCH_PROPERTYGET, 2);
}

int ObjectNewIndex(lua_State* L) {
  auto* wrapped = Wrapped(L, 1);
  const char* name = luaL_checkstring(L, 2);
  const Variant value = ToVariant(L, 3);
  oleaut::IDispatch& object = DispatchOf(L, wrapped);
  const auto id = object.GetIDOfName(name);
  if (!id)
    RaiseLuaError(L, oleaut::AutomationError(oleaut::kMemberNotFound, "Kelvane",
                                             oleaut::RuntimeErrorText(oleaut::kMemberNotFound)));
  const auto kind = value.IsObject() ? oleaut::DISPATCH_PROPERTYPUTREF : oleaut::DISPATCH_PROPERTYPUT;
  return CallAutomation(L, [&] {
    object.Invoke(*id, kind, std::span<const Variant>(&value, 1));
    return 0;
  });
}

// Lets go of the object; again and again if called so.
int ObjectGc(lua_State* L) {
  if (auto* wrapped = Wrapped(L, 1)) wrapped->object.reset();
  return 0;
}

int ErrorToString(lua_State* L) {
  lua_getfield(L, 1, "source");
  lua_getfield(L, 1, "number");
  lua_getfield(L, 1, "description");
  lua_pushfstring(L, "%s error %s: %s", lua_tostring(L, -3), lua_tostring(L, -2), lua_tostring(L, -1));
  return 1;
}

int NullToString(lua_State* L) {
  lua_pushliteral(L, "Null");
  return 1;
}

// Pages see none of the host's metatables: getmetatable gives false, and
// setmetatable refuses to change them.
void NewProtectedMetatable(lua_State* L, const char* name) {
  luaL_newmetatable(L, name);
  lua_pushboolean(L, 0);
  lua_setfield(L, -2, "__metatable");
}

}  // namespace

void RegisterLuaObjects(lua_State* L) {
  NewProtectedMetatable(L, kObjectMeta);
  lua_pushcfunction(L, ObjectIndex);
  lua_setfield(L, -2, "__index");
  lua_pushcfunction(L, ObjectNewIndex);
  lua_setfield(L, -2, "__newindex");
  lua_pushcfunction(L, ObjectCall);
  lua_setfield(L, -2, "__call");
  lua_pushcfunction(L, ObjectGc);
  lua_setfield(L, -2, "__gc");
  lua_pop(L, 1);
  NewProtectedMetatable(L, kErrorMeta);
  lua_pushcfunction(L, ErrorToString);
  lua_setfield(L, -2, "__tostring");
  lua_pop(L, 1);
  NewProtectedMetatable(L, kNullMeta);
  lua_pushcfunction(L, NullToString);
  lua_setfield(L, -2, "__tostring");
  lua_pop(L, 1);
  lua_newuserdatauv(L, 0, 0);
  luaL_setmetatable(L, kNullMeta);
  lua_setfield(L, LUA_REGISTRYINDEX, kNullValue);
}

void SetAfterCall(lua_State* L, void (*after)(lua_State*)) {
  lua_pushlightuserdata(L, reinterpret_cast<void*>(after));
  lua_setfield(L, LUA_REGISTRYINDEX, kAfterCall);
}

void PushNull(lua_State* L) { lua_getfield(L, LUA_REGISTRYINDEX, kNullValue); }

void PushVariant(lua_State* L, const Variant& value) {
  using oleaut::VarType;
  switch (value.Type()) {
    case VarType::Empty: lua_pushnil(L); return;
    case VarType::Null: PushNull(L); return;
    case VarType::Integer: lua_pushinteger(L, *value.If<oleaut::Integer>()); return;
    case VarType::Long: lua_pushinteger(L, *value.If<oleaut::Long>()); return;
    case VarType::Byte: lua_pushinteger(L, *value.If<oleaut::Byte>()); return;
    case VarType::Single: lua_pushnumber(L, *value.If<oleaut::Single>()); return;
    case VarType::Double: lua_pushnumber(L, *value.If<double>()); return;
    case VarType::Currency: lua_pushnumber(L, oleaut::ToDouble(value)); return;
    case VarType::Boolean: lua_pushboolean(L, oleaut::IsTrue(*value.If<oleaut::VariantBool>())); return;
    case VarType::Date: {
      // A date as its text, which Lua can show and compare as it was made.
      const std::string text = oleaut::ToString(value);
      lua_pushlstring(L, text.data(), text.size());
      return;
    }
    case VarType::String: {
      const std::string& text = *value.If<std::string>();
      lua_pushlstring(L, text.data(), text.size());
      return;
    }
    case VarType::Object: {
      const ObjectRef& object = *value.If<ObjectRef>();
      if (!object) {
        lua_pushnil(L);
        return;
      }
      // Lua has no default values: a field or a cookie is its text.
      if (const auto* requestValue = dynamic_cast<const RequestValue*>(object.get())) {
        PushVariant(L, requestValue->Text());
        return;
      }
      new (lua_newuserdatauv(L, sizeof(WrappedObject), 0)) WrappedObject{object};
      luaL_setmetatable(L, kObjectMeta);
      return;
    }
    default:
      break;
  }
  if (const auto* array = value.If<oleaut::ArrayRef>(); array && *array && (*array)->elementType == VarType::Byte) {
    const auto& bytes = (*array)->bytes;
    lua_pushlstring(L, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return;
  }
  RaiseLuaError(L, oleaut::AutomationError(oleaut::kTypeMismatch, "Kelvane",
                                           oleaut::RuntimeErrorText(oleaut::kTypeMismatch)));
}

Variant ToVariant(lua_State* L, int index) {
  switch (lua_type(L, index)) {
    case LUA_TNONE:
    case LUA_TNIL: return Variant();
    case LUA_TBOOLEAN: return Variant(oleaut::ToVariantBool(lua_toboolean(L, index) != 0));
    case LUA_TNUMBER:
      if (lua_isinteger(L, index)) {
        const lua_Integer n = lua_tointeger(L, index);
        if (n >= std::numeric_limits<oleaut::Long>::min() && n <= std::numeric_limits<oleaut::Long>::max())
          return Variant(static_cast<oleaut::Long>(n));
      }
      return Variant(static_cast<double>(lua_tonumber(L, index)));
    case LUA_TSTRING: {
      std::size_t size = 0;
      const char* text = lua_tolstring(L, index, &size);
      return Variant(std::string(text, size));
    }
    case LUA_TUSERDATA:
      if (auto* wrapped = Wrapped(L, index)) return Variant(wrapped->object);
      if (luaL_testudata(L, index, kNullMeta) != nullptr) return Variant::Null();
      break;
    default:
      break;
  }
  RaiseLuaError(L, oleaut::AutomationError(oleaut::kTypeMismatch, "Kelvane",
                                           oleaut::RuntimeErrorText(oleaut::kTypeMismatch)));
}

bool IsAutomationError(lua_State* L, int index) {
  if (!lua_istable(L, index) || lua_getmetatable(L, index) == 0) return false;
  luaL_getmetatable(L, kErrorMeta);
  const bool automation = lua_rawequal(L, -1, -2) != 0;
  lua_pop(L, 2);
  return automation;
}

void RaiseLuaError(lua_State* L, const oleaut::AutomationError& error) {
  lua_createtable(L, 0, 5);
  lua_pushinteger(L, error.Number());
  lua_setfield(L, -2, "number");
  lua_pushstring(L, error.Source().c_str());
  lua_setfield(L, -2, "source");
  lua_pushstring(L, error.Description().c_str());
  lua_setfield(L, -2, "description");
  luaL_where(L, 1);
  lua_setfield(L, -2, "where");
  luaL_setmetatable(L, kErrorMeta);
  lua_error(L);
  std::abort();  // lua_error does not return
}

int CallAutomation(lua_State* L, const std::function<int()>& call) {
  int results = 0;
  try {
    results = call();
  } catch (const oleaut::AutomationError& error) {
    RaiseLuaError(L, error);
  } catch (const std::bad_alloc&) {
    RaiseLuaError(L, oleaut::AutomationError(oleaut::kOutOfMemory, "Kelvane",
                                             oleaut::RuntimeErrorText(oleaut::kOutOfMemory)));
  } catch (const std::exception& error) {
    luaL_error(L, "%s", error.what());
  }
  AfterCall(L);
  return results;
}

}  // namespace kelvane::host
