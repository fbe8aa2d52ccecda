#include "host/objects/adodb/Connection.h"

#include "host/objects/adodb/AdoErrors.h"
#include "host/objects/adodb/ConnectionString.h"
#include "host/objects/adodb/Cursor.h"
#include "host/objects/adodb/InstalledDrivers.h"
#include "host/objects/adodb/Members.h"
#include "host/objects/adodb/Recordset.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/OutArguments.h"

namespace kelvane::host::adodb {

namespace {

using namespace oleaut;

constexpr const char* kSource = "ADODB.Connection";
// ExecuteOptionEnum: the statement gives no rows the page wants.
constexpr Long adExecuteNoRecords = 0x80;

enum Member : DISPID {
  kConnectionString = DISPID_VALUE, kOpen = 1, kClose, kExecute, kBeginTrans, kCommitTrans, kRollbackTrans,
  kConnectionTimeout, kCommandTimeout, kCursorLocation, kState, kErrors, kProvider, kVersion,
};

const InterfaceDesc& Description() {
  static const InterfaceDesc description = DescribeMembers(
      "Connection",
      {{kConnectionString, "ConnectionString", false}, {kOpen, "Open", true}, {kClose, "Close", true},
       {kExecute, "Execute", true}, {kBeginTrans, "BeginTrans", true}, {kCommitTrans, "CommitTrans", true},
       {kRollbackTrans, "RollbackTrans", true}, {kConnectionTimeout, "ConnectionTimeout", false},
       {kCommandTimeout, "CommandTimeout", false}, {kCursorLocation, "CursorLocation", false},
       {kState, "State", false}, {kErrors, "Errors", false}, {kProvider, "Provider", false},
       {kVersion, "Version", false}});
  return description;
}

// A value for a connection string: in braces, a closing brace doubled.
std::string Braced(std::string_view value) {
  std::string out = "{";
  for (const char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

// The driver's connection string for a page's, with the user and password
// Open was given: mapped to the drivers installed here and held to what a
// page may reach.
OdbcTarget DriverTarget(const std::string& connectionString, const std::string& user, const std::string& password) {
  std::string text = connectionString;
  if (!user.empty()) text += ";UID=" + Braced(user);
  if (!password.empty()) text += ";PWD=" + Braced(password);
  return ToOdbc(text, InstalledDrivers(), ReachPath);
}

}  // namespace

std::string CommandSql(std::string_view text, Long commandType) {
  switch (commandType) {
    case adCmdTable: return "SELECT * FROM " + std::string(text);
    case adCmdStoredProc: return "{call " + std::string(text) + "}";
    default: return std::string(text);
  }
}

ConnectionObject::ConnectionObject() : errors_(std::make_shared<ErrorsCollection>()) {}

ConnectionObject::~ConnectionObject() {
  if (session_ != nullptr) session_->Close();
}

void ConnectionObject::Open(const std::string& connectionString, const std::string& user,
                            const std::string& password) {
  if (session_ != nullptr) RaiseAdo(kObjectOpen, kSource);
  const OdbcTarget target = DriverTarget(connectionString, user, password);
  auto connection = TakeConnection(target.connect, target.databaseFile, std::chrono::seconds(connectionTimeout_));
  session_ = std::make_shared<Session>(std::move(connection));
  session_->commandTimeout = std::chrono::seconds(commandTimeout_);
  connectionString_ = connectionString;
}

void ConnectionObject::Close() {
  if (session_ == nullptr) RaiseAdo(kObjectClosed, kSource);
  // Recordsets that still hold the session find it closed.
  session_->Close();
  session_.reset();
}

const std::shared_ptr<Session>& ConnectionObject::OpenSession() const {
  if (session_ == nullptr) RaiseAdo(kConnectionNotUsable, kSource);
  return session_;
}

void ConnectionObject::Deactivate() {
  if (session_ != nullptr) Close();
}

std::optional<DISPID> ConnectionObject::GetIDOfName(std::string_view name) const {
  return FindMember(Description(), name);
}

const InterfaceDesc* ConnectionObject::GetTypeInfo() const { return &Description(); }

Variant ConnectionObject::Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) {
  try {
    return Call(id, IsPut(kind), args);
  } catch (const DatabaseError& error) {
    Record(error);
    throw;
  }
}

Variant ConnectionObject::Call(DISPID id, bool put, std::span<const Variant> args) {
  if (put) {
    ExpectArgs(args, 1, 1);
    const Variant& value = args[0];
    switch (id) {
      case kConnectionString:
        if (session_ != nullptr) RaiseAdo(kObjectOpen, kSource);
        connectionString_ = VariantTo<std::string>(value);
        return {};
      case kConnectionTimeout:
        if (session_ != nullptr) RaiseAdo(kObjectOpen, kSource);
        connectionTimeout_ = std::max<Long>(0, VariantTo<Long>(value));
        return {};
      case kCommandTimeout:
        commandTimeout_ = std::max<Long>(0, VariantTo<Long>(value));
        if (session_ != nullptr) session_->commandTimeout = std::chrono::seconds(commandTimeout_);
        return {};
      case kCursorLocation: {
        const Long location = VariantTo<Long>(value);
        if (location != adUseServer && location != adUseClient) RaiseAdo(kWrongArguments, kSource);
        cursorLocation_ = location;
        return {};
      }
      default: RaiseRuntimeError(kMemberNotFound);
    }
  }
  switch (id) {
    case kConnectionString: ExpectArgs(args, 0, 0); return connectionString_;
    case kOpen: {
      ExpectArgs(args, 0, 4);
      const auto text = [&](std::size_t i, const std::string& fallback) {
        return Given(args, i) ? VariantTo<std::string>(args[i]) : fallback;
      };
      Open(text(0, connectionString_), text(1, {}), text(2, {}));
      return {};
    }
    case kClose: ExpectArgs(args, 0, 0); Close(); return {};
    case kExecute: ExpectArgs(args, 1, 3); return Execute(args);
    case kBeginTrans: ExpectArgs(args, 0, 0); OpenSession()->Begin(); return Long{1};
    case kCommitTrans: ExpectArgs(args, 0, 0); OpenSession()->End(true); return {};
    case kRollbackTrans: ExpectArgs(args, 0, 0); OpenSession()->End(false); return {};
    case kConnectionTimeout: return connectionTimeout_;
    case kCommandTimeout: return commandTimeout_;
    case kCursorLocation: return cursorLocation_;
    case kState: return Long{session_ != nullptr ? 1 : 0};
    case kErrors:
      ExpectArgs(args, 0, 1);
      if (args.empty()) return ObjectRef(errors_);
      return errors_->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, args);
    case kProvider: return "MSDASQL";
    case kVersion: return "2.8";
    default: RaiseRuntimeError(kMemberNotFound);
  }
}

Variant ConnectionObject::Execute(std::span<const Variant> args) {
  const std::string text = VariantTo<std::string>(args[0]);
  const Long options = Given(args, 2) ? VariantTo<Long>(args[2]) : adCmdUnknown;
  CursorOptions cursorOptions;
  cursorOptions.buffered = cursorLocation_ == adUseClient;
  cursorOptions.source = kSource;
  auto result = Cursor::Execute(OpenSession(), CommandSql(text, options & 0xFF), {}, cursorOptions);
  SetOutArgument(1, static_cast<Long>(result.recordsAffected));
  if ((options & adExecuteNoRecords) != 0) {
    if (result.cursor != nullptr) result.cursor->Close();
    return Variant::Nothing();
  }
  return ObjectRef(OpenedRecordset(std::move(result.cursor), shared_from_this(), text));
}

std::shared_ptr<IDispatch> CreateConnection() { return std::make_shared<ConnectionObject>(); }

}  // namespace kelvane::host::adodb
