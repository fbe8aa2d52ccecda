#include "host/objects/scripting/Scripting.h"

#include "host/objects/scripting/Dictionary.h"
#include "host/pages/PageObjects.h"

namespace kelvane::host::scripting {

void RegisterScripting() { RegisterPageObject("Scripting.Dictionary", CreateDictionary); }

}  // namespace kelvane::host::scripting
