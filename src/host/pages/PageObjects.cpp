#include "host/pages/PageObjects.h"

#include <map>
#include <mutex>
#include <shared_mutex>

#include "host/pages/PageLanguages.h"
#include "platform/oleaut/DispatchTable.h"
#include "server/ClassFactory.h"

namespace kelvane::host {

namespace {

struct Registry {
  std::shared_mutex mutex;
  std::map<std::string, ObjectMaker, std::less<>> makers;
};

Registry& Makers() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterPageObject(std::string_view progID, ObjectMaker maker) {
  Registry& registry = Makers();
  const std::unique_lock lock(registry.mutex);
  registry.makers.insert_or_assign(oleaut::FoldCase(progID), std::move(maker));
}

bool ProvidesPageObject(std::string_view progID) {
  Registry& registry = Makers();
  {
    const std::shared_lock lock(registry.mutex);
    if (registry.makers.contains(oleaut::FoldCase(progID))) return true;
  }
  return server::CLSIDFromProgID(progID).has_value();
}

std::shared_ptr<oleaut::IDispatch> CreatePageObject(std::string_view progID) {
  Registry& registry = Makers();
  ObjectMaker maker;
  {
    const std::shared_lock lock(registry.mutex);
    if (const auto it = registry.makers.find(oleaut::FoldCase(progID)); it != registry.makers.end())
      maker = it->second;
  }
  return maker ? maker() : server::CreateObject(progID);
}

void RegisterPageLibraries() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    RegisterLanguageObjects();
    RegisterObjectLibraries();
  });
}

}  // namespace kelvane::host
