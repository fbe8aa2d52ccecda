#include "host/objects/ObjectLibraries.h"

#include "host/objects/adodb/Adodb.h"

namespace kelvane::host {

void RegisterObjectLibraries() { adodb::RegisterAdodb(); }

}  // namespace kelvane::host
