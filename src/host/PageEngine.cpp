#include "host/PageEngine.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "host/HostResponse.h"
#include "host/KspTranslator.h"
#include "host/LuaObjects.h"
#include "host/WebText.h"
#include "platform/complus/ObjectContext.h"
#include "server/ClassFactory.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kWriter[] = "__write";
constexpr char kContext[] = "kelvane.page";
constexpr char kPageEnded[] = "kelvane.ended";

// What one run of a page works with; reached from Lua through the registry.
struct PageContext {
  const PageRequest* request;
  const fs::path* root;
  std::shared_ptr<HostResponse> response;
  std::shared_ptr<complus::ObjectContext> objectContext;
  std::vector<oleaut::ObjectRef> created;  // deactivated and released at the end
  Fields query;
  Fields form;
  Clock::time_point deadline;
};

PageContext& Context(lua_State* L) {
  lua_getfield(L, LUA_REGISTRYINDEX, kContext);
  auto* context = static_cast<PageContext*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return *context;
}

// Ends the page once the call that ended the response has returned: the
// error value is the registry's marker, which the engine takes as success.
void EndIfEnded(lua_State* L) {
  if (!Context(L).response->Ended()) return;
  lua_getfield(L, LUA_REGISTRYINDEX, kPageEnded);
  lua_error(L);
}

// Memory the state may use: counted by its allocator, limited while a page runs.
struct Budget {
  std::size_t used = 0;
  std::size_t limit = std::numeric_limits<std::size_t>::max();
};

void* Allocate(void* ud, void* block, std::size_t oldSize, std::size_t newSize) {
  auto* budget = static_cast<Budget*>(ud);
  const std::size_t old = block != nullptr ? oldSize : 0;
  if (newSize == 0) {
    std::free(block);
    budget->used -= old;
    return nullptr;
  }
  if (newSize > old && budget->used - old + newSize > budget->limit) return nullptr;
  void* grown = std::realloc(block, newSize);
  if (grown != nullptr) budget->used = budget->used - old + newSize;
  return grown;
}

// Stops a page past its deadline, again and again, so that pcall cannot hold it.
void CheckTime(lua_State* L, lua_Debug*) {
  if (Clock::now() > Context(L).deadline) luaL_error(L, "the page ran past its time limit");
}

// pcall and xpcall for pages: like Lua's own, but what must end the page
// (its time running out, memory running out, the response ending) passes
// through them.
bool MustEndPage(lua_State* L, int status) {
  if (status == LUA_ERRMEM || Clock::now() > Context(L).deadline) return true;
  lua_getfield(L, LUA_REGISTRYINDEX, kPageEnded);
  const bool ended = lua_rawequal(L, -1, -2) != 0;
  lua_pop(L, 1);
  return ended;
}

int ProtectedCall(lua_State* L, int handler) {
  const int base = handler == 0 ? 1 : 2;
  const int status = lua_pcall(L, lua_gettop(L) - base, LUA_MULTRET, handler);
  if (status != LUA_OK) {
    if (MustEndPage(L, status)) return lua_error(L);
    lua_pushboolean(L, 0);
    lua_insert(L, -2);
    return 2;
  }
  lua_pushboolean(L, 1);
  lua_insert(L, base);
  return lua_gettop(L) - base + 1;
}

int PagePcall(lua_State* L) {
  luaL_checkany(L, 1);
  return ProtectedCall(L, 0);
}

int PageXpcall(lua_State* L) {
  luaL_checktype(L, 2, LUA_TFUNCTION);
  lua_pushvalue(L, 1);  // the function above the handler, as lua_pcall wants it
  lua_copy(L, 2, 1);
  lua_replace(L, 2);
  return ProtectedCall(L, 1);
}

const char* FindField(const Fields& fields, std::string_view name) {
  for (const auto& [key, value] : fields)
    if (key == name) return value.c_str();
  return nullptr;
}

int PushField(lua_State* L, const Fields& fields, const std::string& raw) {
  if (lua_isnoneornil(L, 1)) {
    lua_pushlstring(L, raw.data(), raw.size());
    return 1;
  }
  const char* value = FindField(fields, luaL_checkstring(L, 1));
  if (value == nullptr) {
    lua_pushnil(L);
  } else {
    lua_pushstring(L, value);
  }
  return 1;
}

int RequestQueryString(lua_State* L) {
  const PageContext& context = Context(L);
  return PushField(L, context.query, context.request->queryString);
}

int RequestForm(lua_State* L) {
  const PageContext& context = Context(L);
  return PushField(L, context.form, context.request->body);
}

int RequestServerVariables(lua_State* L) {
  const PageContext& context = Context(L);
  const std::string name = luaL_checkstring(L, 1);
  const PageRequest& request = *context.request;
  std::string value;
  if (name == "REQUEST_METHOD") value = request.method;
  else if (name == "QUERY_STRING") value = request.queryString;
  else if (name == "PATH_INFO" || name == "URL" || name == "SCRIPT_NAME") value = request.path;
  else if (name == "REMOTE_ADDR") value = request.remoteAddress;
  else if (name.rfind("HTTP_", 0) == 0) {
    for (const auto& [header, text] : request.headers)
      if (HeaderVariableName(header) == name) value = text;
  }
  lua_pushlstring(L, value.data(), value.size());
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
  EndIfEnded(L);
  return 0;
}

// Response.ContentType = ..., Response.Buffer = ..., Response.Status = ...
int ResponseSet(lua_State* L) {
  HostResponse& response = *Context(L).response;
  const std::string name = luaL_checkstring(L, 2);
  if (name == "ContentType") {
    response.put_ContentType(luaL_checkstring(L, 3));
  } else if (name == "Buffer") {
    response.put_Buffer(oleaut::ToVariantBool(lua_toboolean(L, 3) != 0));
  } else if (name == "Status") {
    const int status = lua_isnumber(L, 3) ? static_cast<int>(lua_tointeger(L, 3))
                                          : std::atoi(luaL_checkstring(L, 3));
    if (status < 100 || status > 599) luaL_error(L, "Response.Status must be from 100 to 599");
    response.SetStatus(status);
  } else {
    luaL_error(L, "Response has no property '%s' to set", name.c_str());
  }
  return 0;
}

int ServerCreateObject(lua_State* L) {
  const std::string progID = luaL_checkstring(L, 1);
  PageContext& context = Context(L);
  return CallAutomation(L, [&] {
    auto object = server::CreateObject(progID);
    if (auto* control = dynamic_cast<complus::ObjectControl*>(object.get())) control->Activate();
    context.created.push_back(object);
    PushVariant(L, oleaut::Variant(oleaut::ObjectRef(object)));
    return 1;
  });
}

int ServerMapPath(lua_State* L) {
  const fs::path& root = *Context(L).root;
  std::string relative = luaL_checkstring(L, 1);
  while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
  const fs::path mapped = (root / relative).lexically_normal();
  const auto [end, _] = std::mismatch(root.begin(), root.end(), mapped.begin(), mapped.end());
  if (end != root.end()) luaL_error(L, "Server.MapPath: '%s' leaves the site", relative.c_str());
  lua_pushstring(L, mapped.c_str());
  return 1;
}

int ServerHTMLEncode(lua_State* L) {
  const std::string encoded = HtmlEncode(luaL_checkstring(L, 1));
  lua_pushlstring(L, encoded.data(), encoded.size());
  return 1;
}

int ServerURLEncode(lua_State* L) {
  const std::string encoded = UrlEncode(luaL_checkstring(L, 1));
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

// One Lua state per thread, with the page functions compiled once and
// recompiled when their file changes.
class ThreadRuntime {
 public:
  ThreadRuntime() : L_(lua_newstate(Allocate, &budget_)) {
    luaL_requiref(L_, LUA_GNAME, luaopen_base, 1);
    luaL_requiref(L_, LUA_STRLIBNAME, luaopen_string, 1);
    luaL_requiref(L_, LUA_TABLIBNAME, luaopen_table, 1);
    luaL_requiref(L_, LUA_MATHLIBNAME, luaopen_math, 1);
    luaL_requiref(L_, LUA_UTF8LIBNAME, luaopen_utf8, 1);
    lua_pop(L_, 5);
    for (const char* unsafe : {"dofile", "loadfile", "load", "require", "print", "collectgarbage"}) {
      lua_pushnil(L_);
      lua_setglobal(L_, unsafe);
    }
    lua_register(L_, "pcall", PagePcall);
    lua_register(L_, "xpcall", PageXpcall);
    RegisterLuaObjects(L_);
    SetAfterCall(L_, EndIfEnded);
    lua_newtable(L_);
    lua_setfield(L_, LUA_REGISTRYINDEX, kPageEnded);
  }
  ~ThreadRuntime() { lua_close(L_); }
  ThreadRuntime(const ThreadRuntime&) = delete;
  ThreadRuntime& operator=(const ThreadRuntime&) = delete;

  lua_State* State() const { return L_; }
  Budget& Memory() { return budget_; }

  // Pushes the compiled page; on failure pushes nothing and sets `error`.
  bool PushPage(const fs::path& page, const struct stat& status, std::string& error) {
    auto& entry = pages_[page.string()];
    if (entry.reference != LUA_NOREF && entry.modified == status.st_mtim.tv_sec &&
        entry.modifiedNanos == status.st_mtim.tv_nsec && entry.size == status.st_size) {
      lua_rawgeti(L_, LUA_REGISTRYINDEX, entry.reference);
      return true;
    }
    luaL_unref(L_, LUA_REGISTRYINDEX, entry.reference);
    entry.reference = LUA_NOREF;
    std::ifstream in(page, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const TranslatedPage translated = TranslatePage(text, kWriter);
    if (!translated.error.empty()) {
      error = page.filename().string() + ": " + translated.error;
      return false;
    }
    const std::string chunkName = "@" + page.filename().string();
    if (luaL_loadbuffer(L_, translated.lua.data(), translated.lua.size(), chunkName.c_str()) != LUA_OK) {
      error = lua_tostring(L_, -1);
      lua_pop(L_, 1);
      return false;
    }
    lua_pushvalue(L_, -1);
    entry = {luaL_ref(L_, LUA_REGISTRYINDEX), status.st_mtim.tv_sec, status.st_mtim.tv_nsec,
             status.st_size};
    return true;
  }

 private:
  struct Compiled {
    int reference = LUA_NOREF;
    time_t modified = 0;
    long modifiedNanos = 0;
    off_t size = 0;
  };
  Budget budget_;
  lua_State* L_;
  std::map<std::string, Compiled> pages_;
};

ThreadRuntime& Runtime() {
  thread_local ThreadRuntime runtime;
  return runtime;
}

// A new global table for one run, reading through to the shared libraries.
void PushEnvironment(lua_State* L) {
  lua_newtable(L);
  lua_createtable(L, 0, 1);
  lua_pushglobaltable(L);
  lua_setfield(L, -2, "__index");
  lua_setmetatable(L, -2);
  PushTable(L, {{"Write", ResponseWrite}, {"BinaryWrite", ResponseBinaryWrite},
                {"AddHeader", ResponseAddHeader}, {"Clear", ResponseClear}, {"End", ResponseEnd}});
  lua_createtable(L, 0, 1);
  lua_pushcfunction(L, ResponseSet);
  lua_setfield(L, -2, "__newindex");
  lua_setmetatable(L, -2);
  lua_pushvalue(L, -1);
  lua_setfield(L, -3, "Response");
  lua_getfield(L, -1, "Write");
  lua_setfield(L, -3, kWriter);
  lua_pop(L, 1);
  PushTable(L, {{"QueryString", RequestQueryString}, {"Form", RequestForm},
                {"ServerVariables", RequestServerVariables}});
  lua_setfield(L, -2, "Request");
  PushTable(L, {{"CreateObject", ServerCreateObject}, {"MapPath", ServerMapPath},
                {"HTMLEncode", ServerHTMLEncode}, {"URLEncode", ServerURLEncode}});
  lua_setfield(L, -2, "Server");
  PushNull(L);
  lua_setfield(L, -2, "Null");
}

// The text of a failure: source, number, description, page and line.
std::string DescribeFailure(lua_State* L, const fs::path& page) {
  std::ostringstream text;
  if (lua_istable(L, -1)) {
    lua_getfield(L, -1, "source");
    lua_getfield(L, -2, "number");
    lua_getfield(L, -3, "description");
    lua_getfield(L, -4, "where");
    text << "source: " << lua_tostring(L, -4) << "\nnumber: " << lua_tostring(L, -3)
         << "\ndescription: " << lua_tostring(L, -2) << "\nat: " << lua_tostring(L, -1) << "\n";
    lua_pop(L, 4);
  } else {
    const char* message = lua_tostring(L, -1);
    text << "source: Lua\ndescription: " << (message != nullptr ? message : "an error") << "\n";
  }
  text << "page: " << page.filename().string() << "\n";
  return text.str();
}

PageReply Failure(int status, std::string text) {
  PageReply reply;
  reply.status = status;
  reply.contentType = "text/plain; charset=utf-8";
  reply.body = std::move(text);
  return reply;
}

}  // namespace

PageEngine::PageEngine(fs::path root, PageLimits limits)
    : root_(fs::weakly_canonical(root)), limits_(limits) {}

PageReply PageEngine::Run(const fs::path& page, const PageRequest& request) const {
  struct stat status {};
  if (::stat(page.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    return Failure(404, "page not found: " + page.filename().string() + "\n");

  ThreadRuntime& runtime = Runtime();
  lua_State* L = runtime.State();
  const int base = lua_gettop(L);
  std::string error;
  if (!runtime.PushPage(page, status, error)) return Failure(500, error + "\n");

  PageContext context{&request, &root_, std::make_shared<HostResponse>(),
                      std::make_shared<complus::ObjectContext>(), {}, ParseFields(request.queryString),
                      IsFormBody(request) ? ParseFields(request.body) : Fields{},
                      Clock::now() + limits_.time};
  context.objectContext->SetItem("Response", oleaut::Variant(oleaut::ObjectRef(context.response)));
  lua_pushlightuserdata(L, &context);
  lua_setfield(L, LUA_REGISTRYINDEX, kContext);

  lua_pushvalue(L, -1);  // kept, to let go of the environment afterwards
  PushEnvironment(L);
  lua_setupvalue(L, -2, 1);
  runtime.Memory().limit = runtime.Memory().used + limits_.memoryBytes;
  lua_sethook(L, CheckTime, LUA_MASKCOUNT, 10000);

  int result = LUA_OK;
  {
    const complus::ContextScope scope(context.objectContext);
    result = lua_pcall(L, 0, 0, 0);
    if (result != LUA_OK) {
      lua_getfield(L, LUA_REGISTRYINDEX, kPageEnded);
      if (lua_rawequal(L, -1, -2)) result = LUA_OK;
      lua_pop(L, 1);
    }
    if (result != LUA_OK) error = DescribeFailure(L, page);
    for (const auto& object : context.created)
      if (auto* control = dynamic_cast<complus::ObjectControl*>(object.get())) control->Deactivate();
    context.created.clear();
  }
  lua_sethook(L, nullptr, 0, 0);
  lua_settop(L, base + 1);
  lua_pushnil(L);
  lua_setupvalue(L, -2, 1);
  lua_settop(L, base);
  lua_pushnil(L);
  lua_setfield(L, LUA_REGISTRYINDEX, kContext);
  lua_gc(L, LUA_GCCOLLECT);
  runtime.Memory().limit = std::numeric_limits<std::size_t>::max();

  if (result != LUA_OK) return Failure(500, error);
  return std::move(context.response->Reply());
}

}  // namespace kelvane::host
