#pragma once
// ADODB.Command: ActiveConnection (a Connection or a connection string),
// CommandText (the default member), CommandType, CommandTimeout, Prepared,
// Parameters, CreateParameter, Execute(records affected, parameter values,
// options). A Recordset opens a command given as its source.

#include <memory>
#include <string>
#include <vector>

#include "host/objects/adodb/Connection.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

// What running a command takes: its connection, its SQL and the values of
// its parameters.
struct CommandRun {
  std::shared_ptr<ConnectionObject> connection;
  std::string sql;
  std::vector<oleaut::Variant> parameters;
};

class CommandObject : public oleaut::IDispatch {
 public:
  // The run for the command's own parameter values, or `given` (an array).
  virtual CommandRun Run(const oleaut::Variant& given) = 0;
};

std::shared_ptr<oleaut::IDispatch> CreateCommand();

}  // namespace kelvane::host::adodb
