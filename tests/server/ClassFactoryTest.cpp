#include "server/ClassFactory.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "component/Image.h"
#include "component/KelvaneTypeLibrary.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::server {
namespace {

TEST(CreateObject, MakesAnImageByProgIDInAnyCase) {
  const auto object = CreateObject("kelvane.IMAGE");
  ASSERT_NE(std::dynamic_pointer_cast<component::Image>(object), nullptr);
  EXPECT_EQ(CLSIDFromProgID("Kelvane.Image"), component::kCLSID_Image);
  try {
    CreateObject("Kelvane.Chart");
    FAIL() << "no such class";
  } catch (const oleaut::AutomationError& e) {
    EXPECT_EQ(e.Number(), 429);
    EXPECT_EQ(e.Source(), "Kelvane") << "errors name the module they come from";
  }
}

// Loads the module by file name, as a host that knows nothing else of it would.
TEST(EntryPoints, HandOutTheFactoryAndTellWhetherTheModuleMayUnload) {
  void* module = dlopen(KELVANE_MODULE_PATH, RTLD_NOW);
  ASSERT_NE(module, nullptr) << dlerror();
  using GetClassObject = HRESULT (*)(const oleaut::GUID*, const oleaut::GUID*, void**);
  using CanUnloadNow = HRESULT (*)();
  const auto getClassObject = reinterpret_cast<GetClassObject>(dlsym(module, "DllGetClassObject"));
  const auto canUnloadNow = reinterpret_cast<CanUnloadNow>(dlsym(module, "DllCanUnloadNow"));
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnloadNow, nullptr);

  void* out = nullptr;
  EXPECT_EQ(getClassObject(&kIID_IUnknown, &kIID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(getClassObject(&component::kCLSID_Image, &component::kIID_Image, &out), E_NOINTERFACE);
  EXPECT_EQ(getClassObject(&component::kCLSID_Image, &kIID_IClassFactory, nullptr), E_POINTER);
  ASSERT_EQ(getClassObject(&component::kCLSID_Image, &kIID_IClassFactory, &out), S_OK);
  auto* factory = static_cast<ClassFactory*>(out);

  EXPECT_EQ(canUnloadNow(), S_OK);
  {
    const auto image = factory->CreateInstance();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(canUnloadNow(), S_OK);
  factory->LockServer(true);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  factory->LockServer(false);
  EXPECT_EQ(canUnloadNow(), S_OK);
  dlclose(module);
}

}  // namespace
}  // namespace kelvane::server
