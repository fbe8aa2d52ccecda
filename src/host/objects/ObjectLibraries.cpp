#include "host/objects/adodb/Adodb.h"
#include "host/objects/scripting/Scripting.h"
#include "host/pages/PageLanguages.h"

namespace kelvane::host {

void RegisterObjectLibraries() {
  scripting::RegisterScripting();
  adodb::RegisterAdodb();
}

}  // namespace kelvane::host
