#include "host/objects/scripting/Scripting.h"
#include "host/pages/PageLanguages.h"

namespace kelvane::host {

void RegisterObjectLibraries() { scripting::RegisterScripting(); }

}  // namespace kelvane::host
