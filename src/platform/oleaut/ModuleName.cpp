#include "platform/oleaut/ModuleName.h"

#include <dlfcn.h>

#include <filesystem>

namespace kelvane::oleaut {

namespace {

std::string ReadModuleName() {
  Dl_info info{};
  const void* self = reinterpret_cast<const void*>(&ReadModuleName);
  if (dladdr(self, &info) == 0 || info.dli_fname == nullptr) return "Kelvane";
  std::string stem = std::filesystem::path(info.dli_fname).stem().string();
  return stem.empty() ? std::string("Kelvane") : stem;
}

}  // namespace

const std::string& ModuleName() {
  static const std::string name = ReadModuleName();
  return name;
}

}  // namespace kelvane::oleaut
