#pragma once
// The objects pages make with Server.CreateObject: the classes the host
// registers, and then the component's own.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

using ObjectMaker = std::function<std::shared_ptr<oleaut::IDispatch>()>;

// Makes `progID` (matched without regard to case) create objects with
// `maker`, in place of any class registered under it before. Safe to call
// while pages run.
void RegisterPageObject(std::string_view progID, ObjectMaker maker);

// Whether CreatePageObject knows `progID`, without making one.
bool ProvidesPageObject(std::string_view progID);

// A new object of `progID`: a registered class, else the component's; 429
// "ActiveX component can't create object" when neither has it.
std::shared_ptr<oleaut::IDispatch> CreatePageObject(std::string_view progID);

}  // namespace kelvane::host
