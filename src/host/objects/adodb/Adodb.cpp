#include "host/objects/adodb/Adodb.h"

#include "host/objects/adodb/Stream.h"
#include "host/pages/PageObjects.h"

namespace kelvane::host::adodb {

void RegisterAdodb() {
  RegisterPageObject("ADODB.Stream", CreateStream);
}

}  // namespace kelvane::host::adodb
