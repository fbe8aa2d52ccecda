#pragma once
// Scripting.Dictionary: items by key, kept in the order they were added.
// Add, Exists, Item (the default member; reading a missing key adds it
// with Empty, as pages expect), Items, Keys, Remove, RemoveAll, Count,
// CompareMode (0 binary, 1 text: keys that differ in case only are one);
// For Each gives the keys. Keys are texts, numbers (1 and 1.0 are one key)
// or objects (by identity).

#include <memory>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::scripting {

// A new, empty dictionary, for Server.CreateObject("Scripting.Dictionary").
std::shared_ptr<oleaut::IDispatch> CreateDictionary();

}  // namespace kelvane::host::scripting
