#pragma once
// The name of the module this code is loaded from, without folder and
// extension ("Kelvane" for Kelvane.so). Errors name it as their source.

#include <string>

namespace kelvane::oleaut {

// Read once from the loaded module; "Kelvane" if the loader cannot say.
const std::string& ModuleName();

}  // namespace kelvane::oleaut
