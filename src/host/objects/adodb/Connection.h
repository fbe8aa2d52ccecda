#pragma once
// ADODB.Connection: Open (connection string, user, password), Close,
// Execute (a Recordset, closed for a statement that gives no rows),
// BeginTrans, CommitTrans, RollbackTrans, ConnectionString,
// ConnectionTimeout, CommandTimeout, CursorLocation, State, Errors,
// Provider, Version. At the end of its page it is closed: its recordsets
// close, an open transaction is rolled back and the connection goes back
// to the pool.

#include <memory>
#include <string>

#include "host/objects/adodb/Errors.h"
#include "host/objects/adodb/Session.h"
#include "platform/complus/ObjectContext.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

// ADO's cursor locations.
enum CursorLocation : oleaut::Long { adUseServer = 2, adUseClient = 3 };

// What a statement's text is, from CommandTypeEnum (options beyond the
// low byte aside): text, a table's name, a procedure's name.
enum CommandType : oleaut::Long { adCmdText = 1, adCmdTable = 2, adCmdStoredProc = 4, adCmdUnknown = 8 };
// The SQL for `text` of `commandType`.
std::string CommandSql(std::string_view text, oleaut::Long commandType);

class ConnectionObject : public oleaut::IDispatch,
                         public complus::ObjectControl,
                         public std::enable_shared_from_this<ConnectionObject> {
 public:
  ConnectionObject();
  ~ConnectionObject() override;

  // Opens with `connectionString` as a page gives it; 3705 when open.
  void Open(const std::string& connectionString, const std::string& user, const std::string& password);
  void Close();
  // The open session; 3709 when closed.
  const std::shared_ptr<Session>& OpenSession() const;
  oleaut::Long cursorLocation() const { return cursorLocation_; }
  // Keeps the driver's error in Errors, where the page finds its records.
  void Record(const DatabaseError& error) const { errors_->Record(error); }

  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override;
  const oleaut::InterfaceDesc* GetTypeInfo() const override;
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t kind, std::span<const oleaut::Variant> args) override;

  void Activate() override {}
  void Deactivate() override;
  oleaut::VariantBool CanBePooled() override { return oleaut::VariantBool::False; }

 private:
  oleaut::Variant Call(oleaut::DISPID id, bool put, std::span<const oleaut::Variant> args);
  oleaut::Variant Execute(std::span<const oleaut::Variant> args);

  std::shared_ptr<ErrorsCollection> errors_;
  std::shared_ptr<Session> session_;
  std::string connectionString_;
  oleaut::Long connectionTimeout_ = 15;
  oleaut::Long commandTimeout_ = 30;
  oleaut::Long cursorLocation_ = adUseServer;
};

std::shared_ptr<oleaut::IDispatch> CreateConnection();

}  // namespace kelvane::host::adodb
