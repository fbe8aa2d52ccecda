#include "host/objects/adodb/Adodb.h"

#include "host/objects/adodb/Command.h"
#include "host/objects/adodb/Connection.h"
#include "host/objects/adodb/Recordset.h"
#include "host/objects/adodb/SqliteGuard.h"
#include "host/objects/adodb/Stream.h"
#include "host/pages/PageObjects.h"

namespace kelvane::host::adodb {

void RegisterAdodb() {
  GuardSqlite();
  RegisterPageObject("ADODB.Connection", CreateConnection);
  RegisterPageObject("ADODB.Recordset", CreateRecordset);
  RegisterPageObject("ADODB.Command", CreateCommand);
  RegisterPageObject("ADODB.Stream", CreateStream);
}

}  // namespace kelvane::host::adodb
