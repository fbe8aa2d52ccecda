#pragma once
// Making component objects: the class factory of each creatable class, the
// table from ProgIDs and CLSIDs to factories, and the module's entry points.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::server {

using HRESULT = std::int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);

inline constexpr oleaut::GUID kIID_IUnknown{0x00000000, 0x0000, 0x0000,
                                            {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr oleaut::GUID kIID_IClassFactory{0x00000001, 0x0000, 0x0000,
                                                 {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  // A new object; raises 7 when it cannot be made.
  virtual std::shared_ptr<oleaut::IDispatch> CreateInstance() const = 0;
  // Keeps the module loaded while locked, whether or not objects are alive.
  void LockServer(bool lock);

  static long Locks() { return locks_.load(); }

 private:
  static std::atomic<long> locks_;
};

// The factory of a class by its CLSID; nullptr for a class this module
// does not make.
ClassFactory* FindClassFactory(const oleaut::GUID& clsid);

// The CLSID registered under a ProgID ("Kelvane.Image"), matched without
// regard to case.
std::optional<oleaut::GUID> CLSIDFromProgID(std::string_view progID);

// Makes an object by ProgID; 429 "ActiveX component can't create object"
// for a ProgID that is not registered.
std::shared_ptr<oleaut::IDispatch> CreateObject(std::string_view progID);

}  // namespace kelvane::server

// The module's entry points, looked up by name by whoever loads Kelvane.so.
extern "C" {
// Hands out the class factory of `clsid` in *ppv (asked for as IClassFactory
// or IUnknown); the factory lives as long as the module.
kelvane::server::HRESULT DllGetClassObject(const kelvane::oleaut::GUID* clsid,
                                           const kelvane::oleaut::GUID* iid, void** ppv);
// S_OK when no object is alive and no lock is held, else S_FALSE.
kelvane::server::HRESULT DllCanUnloadNow();
}
