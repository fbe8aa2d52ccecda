#pragma once
// The objects a .ksp page finds as globals: Request, Response, Server and
// Null, and the run of the page they serve.

#include <lua.hpp>

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "host/pages/HostResponse.h"
#include "host/pages/PageRequest.h"
#include "platform/complus/ObjectContext.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host {

// What one run of a page works with.
struct PageContext {
  const PageRequest& request;
  const std::filesystem::path& root;  // canonical
  std::shared_ptr<HostResponse> response;
  std::shared_ptr<complus::ObjectContext> objectContext;
  std::vector<oleaut::ObjectRef> created;  // deactivated and released at the end
  Fields query;
  Fields form;
  std::chrono::steady_clock::time_point deadline;
};

// Makes `context` the one that the state's functions serve.
void BindContext(lua_State* L, PageContext& context);
PageContext& Context(lua_State* L);

// Sets the globals Request, Response, Server and Null, and `writer`, the
// function that text outside <% %> is written with.
void InstallIntrinsics(lua_State* L, const char* writer);

// Whether the error value at `index` is the one that ends a page whose
// response has ended (Response.End, or a component's End): a success.
bool IsPageEnd(lua_State* L, int index);

}  // namespace kelvane::host
