#include "host/lua/LuaIntrinsics.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include "host/lua/LuaObjects.h"
#include "host/pages/PageObjects.h"
#include "host/pages/SiteFiles.h"
#include "host/pages/WebText.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;

// The error value that ends a page whose response has ended: a light
// userdata no page can make, compared without allocating.
constexpr char kPageEnded = 0;

// Ends the page once the call that ended the response has returned.
void EndIfEnded(lua_State* L) {
  if (!Context(L).response->Ended()) return;
  lua_pushlightuserdata(L, const_cast<char*>(&kPageEnded));
  lua_error(L);
}

// Runs `Function` with every C++ error it meets turned into a page error.
template <lua_CFunction Function>
int Guarded(lua_State* L) {
  return CallAutomation(L, [L] { return Function(L); });
}

const std::string* FindField(const Fields& fields, std::string_view name) {
  for (const auto& [key, value] : fields)
    if (key == name) return &value;
  return nullptr;
}

int PushField(lua_State* L, const Fields& fields, const std::string& raw) {
  if (lua_isnoneornil(L, 1)) {
    lua_pushlstring(L, raw.data(), raw.size());
    return 1;
  }
  std::size_t size = 0;
  const char* name = luaL_checklstring(L, 1, &size);
  const std::string* value = FindField(fields, {name, size});
  if (value == nullptr) {
    lua_pushnil(L);
  } else {
    lua_pushlstring(L, value->data(), value->size());
  }
  return 1;
}

int RequestQueryString(lua_State* L) {
  const PageContext& context = Context(L);
  return PushField(L, context.query, context.request.queryString);
}

int RequestForm(lua_State* L) {
  const PageContext& context = Context(L);
  return PushField(L, context.form, context.request.body);
}

int RequestServerVariables(lua_State* L) {
  const PageRequest& request = Context(L).request;
  const std::string name = luaL_checkstring(L, 1);
  const std::string* value = nullptr;
  if (name == "REQUEST_METHOD") value = &request.method;
  else if (name == "QUERY_STRING") value = &request.queryString;
  else if (name == "PATH_INFO" || name == "URL" || name == "SCRIPT_NAME") value = &request.path;
  else if (name == "REMOTE_ADDR") value = &request.remoteAddress;
  else if (name.rfind("HTTP_", 0) == 0) {
    for (const auto& [header, text] : request.headers)
      if (HeaderVariableName(header) == name) value = &text;
  }
  if (value == nullptr) {
    lua_pushliteral(L, "");
  } else {
    lua_pushlstring(L, value->data(), value->size());
  }
  return 1;
}

int ResponseWrite(lua_State* L) {
  if (!lua_isnil(L, 1)) {
    std::size_t size = 0;
    const char* text = luaL_tolstring(L, 1, &size);
    Context(L).response->Write({text, size});
  }
  return 0;
}

int ResponseBinaryWrite(lua_State* L) {
  std::size_t size = 0;
  const char* bytes = luaL_checklstring(L, 1, &size);
  Context(L).response->Write({bytes, size});
  return 0;
}

int ResponseAddHeader(lua_State* L) {
  Context(L).response->AddHeader(luaL_checkstring(L, 1), luaL_checkstring(L, 2));
  return 0;
}

int ResponseClear(lua_State* L) {
  Context(L).response->Clear();
  return 0;
}

int ResponseEnd(lua_State* L) {
  Context(L).response->End();
  return 0;
}

// Response.ContentType = ..., Response.Buffer = ..., Response.Status = ...
// A status is a final one, 200 to 599: an informational status would leave
// the client waiting for the real answer.
int ResponseSet(lua_State* L) {
  HostResponse& response = *Context(L).response;
  const std::string name = luaL_checkstring(L, 2);
  if (name == "ContentType") {
    response.put_ContentType(luaL_checkstring(L, 3));
  } else if (name == "Buffer") {
    response.put_Buffer(oleaut::ToVariantBool(lua_toboolean(L, 3) != 0));
  } else if (name == "Status") {
    const lua_Integer status =
        lua_isinteger(L, 3) ? lua_tointeger(L, 3) : std::atoi(luaL_checkstring(L, 3));
    if (status < 200 || status > 599) luaL_error(L, "Response.Status must be from 200 to 599");
    response.SetStatus(static_cast<int>(status));
  } else {
    luaL_error(L, "Response has no property '%s' to set", name.c_str());
  }
  return 0;
}

int ServerCreateObject(lua_State* L) {
  const std::string progID = luaL_checkstring(L, 1);
  PageContext& context = Context(L);
  auto object = CreatePageObject(progID);
  if (auto* control = dynamic_cast<complus::ObjectControl*>(object.get())) control->Activate();
  context.created.push_back(object);
  PushVariant(L, oleaut::Variant(oleaut::ObjectRef(std::move(object))));
  return 1;
}

// The file in the site that a site path names, symbolic links resolved;
// an error when it lies outside the site.
int ServerMapPath(lua_State* L) {
  const fs::path& root = Context(L).root;
  std::string relative = luaL_checkstring(L, 1);
  relative.erase(0, relative.find_first_not_of('/'));
  std::error_code error;
  const fs::path mapped = fs::weakly_canonical(root / relative, error);
  if (error || !IsInside(root, mapped))
    luaL_error(L, "Server.MapPath: '%s' leaves the site", relative.c_str());
  lua_pushstring(L, mapped.c_str());
  return 1;
}

int ServerHTMLEncode(lua_State* L) {
  std::size_t size = 0;
  const char* text = luaL_checklstring(L, 1, &size);
  const std::string encoded = HtmlEncode({text, size});
  lua_pushlstring(L, encoded.data(), encoded.size());
  return 1;
}

int ServerURLEncode(lua_State* L) {
  std::size_t size = 0;
  const char* text = luaL_checklstring(L, 1, &size);
  const std::string encoded = UrlEncode({text, size});
  lua_pushlstring(L, encoded.data(), encoded.size());
  return 1;
}

void PushTable(lua_State* L, std::initializer_list<std::pair<const char*, lua_CFunction>> functions) {
  lua_createtable(L, 0, static_cast<int>(functions.size()));
  for (const auto& [name, function] : functions) {
    lua_pushcfunction(L, function);
    lua_setfield(L, -2, name);
  }
}

}  // namespace

void BindContext(lua_State* L, PageContext& context) {
  *static_cast<PageContext**>(lua_getextraspace(L)) = &context;
}

PageContext& Context(lua_State* L) { return **static_cast<PageContext**>(lua_getextraspace(L)); }

void InstallIntrinsics(lua_State* L, const char* writer) {
  SetAfterCall(L, EndIfEnded);

  PushTable(L, {{"Write", Guarded<ResponseWrite>},
                {"BinaryWrite", Guarded<ResponseBinaryWrite>},
                {"AddHeader", Guarded<ResponseAddHeader>},
                {"Clear", Guarded<ResponseClear>},
                {"End", Guarded<ResponseEnd>}});
  lua_createtable(L, 0, 1);
  lua_pushcfunction(L, Guarded<ResponseSet>);
  lua_setfield(L, -2, "__newindex");
  lua_setmetatable(L, -2);
  lua_getfield(L, -1, "Write");
  lua_setglobal(L, writer);
  lua_setglobal(L, "Response");
  PushTable(L, {{"QueryString", Guarded<RequestQueryString>},
                {"Form", Guarded<RequestForm>},
                {"ServerVariables", Guarded<RequestServerVariables>}});
  lua_setglobal(L, "Request");
  PushTable(L, {{"CreateObject", Guarded<ServerCreateObject>},
                {"MapPath", Guarded<ServerMapPath>},
                {"HTMLEncode", Guarded<ServerHTMLEncode>},
                {"URLEncode", Guarded<ServerURLEncode>}});
  lua_setglobal(L, "Server");
  PushNull(L);
  lua_setglobal(L, "Null");
}

bool IsPageEnd(lua_State* L, int index) {
  return lua_islightuserdata(L, index) && lua_touserdata(L, index) == &kPageEnded;
}

}  // namespace kelvane::host
