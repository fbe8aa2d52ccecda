#include "server/ClassFactory.h"

#include <strings.h>

#include "component/Image.h"
#include "component/KelvaneTypeLibrary.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::server {

std::atomic<long> ClassFactory::locks_{0};

void ClassFactory::LockServer(bool lock) {
  if (lock) {
    ++locks_;
  } else {
    --locks_;
  }
}

namespace {

class ImageFactory final : public ClassFactory {
 public:
  std::shared_ptr<oleaut::IDispatch> CreateInstance() const override {
    return std::make_shared<component::Image>();
  }
};

struct RegisteredClass {
  std::string_view progID;
  oleaut::GUID clsid;
  ClassFactory* factory;
};

ImageFactory imageFactory;

const RegisteredClass kClasses[] = {
    {component::kImageProgID, component::kCLSID_Image, &imageFactory},
};

}  // namespace

ClassFactory* FindClassFactory(const oleaut::GUID& clsid) {
  for (const auto& c : kClasses)
    if (c.clsid == clsid) return c.factory;
  return nullptr;
}

std::optional<oleaut::GUID> CLSIDFromProgID(std::string_view progID) {
  for (const auto& c : kClasses)
    if (c.progID.size() == progID.size() &&
        strncasecmp(c.progID.data(), progID.data(), progID.size()) == 0)
      return c.clsid;
  return std::nullopt;
}

std::shared_ptr<oleaut::IDispatch> CreateObject(std::string_view progID) {
  const auto clsid = CLSIDFromProgID(progID);
  ClassFactory* factory = clsid ? FindClassFactory(*clsid) : nullptr;
  if (factory == nullptr) oleaut::RaiseRuntimeError(oleaut::kCannotCreateObject);
  return factory->CreateInstance();
}

}  // namespace kelvane::server

extern "C" kelvane::server::HRESULT DllGetClassObject(const kelvane::oleaut::GUID* clsid,
                                                      const kelvane::oleaut::GUID* iid,
                                                      void** ppv) {
  using namespace kelvane::server;
  if (ppv == nullptr || clsid == nullptr || iid == nullptr) return E_POINTER;
  *ppv = nullptr;
  ClassFactory* factory = FindClassFactory(*clsid);
  if (factory == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  if (!(*iid == kIID_IClassFactory) && !(*iid == kIID_IUnknown)) return E_NOINTERFACE;
  *ppv = factory;
  return S_OK;
}

extern "C" kelvane::server::HRESULT DllCanUnloadNow() {
  using namespace kelvane::server;
  return kelvane::component::Image::LiveObjects() == 0 && ClassFactory::Locks() == 0 ? S_OK
                                                                                      : S_FALSE;
}
