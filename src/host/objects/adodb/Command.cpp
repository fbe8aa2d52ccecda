#include "host/objects/adodb/Command.h"

#include "host/objects/adodb/ActiveConnection.h"
#include "host/objects/adodb/AdoErrors.h"
#include "host/objects/adodb/Cursor.h"
#include "host/objects/adodb/Members.h"
#include "host/objects/adodb/Parameters.h"
#include "host/objects/adodb/Recordset.h"
#include "platform/complus/ObjectContext.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/OutArguments.h"

namespace kelvane::host::adodb {

namespace {

using namespace oleaut;

constexpr const char* kCommand = "ADODB.Command";
constexpr Long adExecuteNoRecords = 0x80;

enum Member : DISPID {
  kCommandText = DISPID_VALUE, kActiveConnection = 1, kCommandType, kCommandTimeout, kPrepared, kParameters,
  kCreateParameter, kExecute, kState, kName,
};

const InterfaceDesc& Description() {
  static const InterfaceDesc description = DescribeMembers(
      "Command", {{kCommandText, "CommandText", false}, {kActiveConnection, "ActiveConnection", false},
                  {kCommandType, "CommandType", false}, {kCommandTimeout, "CommandTimeout", false},
                  {kPrepared, "Prepared", false}, {kParameters, "Parameters", false},
                  {kCreateParameter, "CreateParameter", true}, {kExecute, "Execute", true},
                  {kState, "State", false}, {kName, "Name", false}});
  return description;
}

class Command : public CommandObject, public complus::ObjectControl, public std::enable_shared_from_this<Command> {
 public:
  // Gives the command its Parameters, whose Refresh asks the command's text
  // while the command lives.
  void MakeParameters() {
    parameters_ = std::make_shared<ParametersCollection>([weak = weak_from_this()] {
      const auto command = weak.lock();
      if (command == nullptr) RaiseAdo(kConnectionNotUsable, kCommand);
      return command->CountMarkers();
    });
  }

  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return FindMember(Description(), name); }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    try {
      return Call(id, IsPut(kind), args);
    } catch (const DatabaseError& error) {
      connection_.Record(error);
      throw;
    }
  }

  CommandRun Run(const Variant& given) override {
    if (text_.empty()) RaiseAdo(kWrongArguments, kCommand);
    return {connection_.Get(), CommandSql(text_, type_), parameters_->Values(given)};
  }

  void Activate() override {}
  void Deactivate() override { connection_.Release(); }
  VariantBool CanBePooled() override { return VariantBool::False; }

 private:
  std::size_t CountMarkers() {
    Statement statement(connection_.Get()->OpenSession()->Driver(), kCommand);
    return static_cast<std::size_t>(statement.CountParameters(CommandSql(text_, type_)));
  }

  Variant Call(DISPID id, bool put, std::span<const Variant> args) {
    if (put) {
      ExpectArgs(args, 1, 1);
      const Variant& value = args[0];
      switch (id) {
        case kCommandText: text_ = VariantTo<std::string>(value); return {};
        case kActiveConnection: connection_.Set(value); return {};
        case kCommandType: type_ = VariantTo<Long>(value); return {};
        case kCommandTimeout: timeout_ = std::max<Long>(0, VariantTo<Long>(value)); return {};
        case kPrepared: prepared_ = VariantTo<VariantBool>(value); return {};
        case kName: name_ = VariantTo<std::string>(value); return {};
        default: RaiseRuntimeError(kMemberNotFound);
      }
    }
    switch (id) {
      case kCommandText: return text_;
      case kActiveConnection: return connection_.Value();
      case kCommandType: return type_;
      case kCommandTimeout: return timeout_;
      case kPrepared: return prepared_;
      case kName: return name_;
      case kState: return Long{0};
      case kParameters:
        ExpectArgs(args, 0, 1);
        if (args.empty()) return ObjectRef(parameters_);
        return parameters_->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, args);
      case kCreateParameter: ExpectArgs(args, 0, 5); return ObjectRef(CreateParameter(args));
      case kExecute: ExpectArgs(args, 0, 3); return Execute(args);
      default: RaiseRuntimeError(kMemberNotFound);
    }
  }

  Variant Execute(std::span<const Variant> args) {
    const Long options = Given(args, 2) ? VariantTo<Long>(args[2]) : adCmdUnknown;
    if ((options & 0xFF) != adCmdUnknown && (options & 0xFF) != 0) type_ = options & 0xFF;
    CommandRun run = Run(Arg(args, 1));
    CursorOptions cursorOptions;
    cursorOptions.buffered = run.connection->cursorLocation() == adUseClient;
    cursorOptions.source = kCommand;
    cursorOptions.timeout = std::chrono::seconds(timeout_);
    auto result = Cursor::Execute(run.connection->OpenSession(), run.sql, run.parameters, cursorOptions);
    SetOutArgument(0, static_cast<Long>(result.recordsAffected));
    if ((options & adExecuteNoRecords) != 0) {
      if (result.cursor != nullptr) result.cursor->Close();
      return Variant::Nothing();
    }
    return ObjectRef(OpenedRecordset(std::move(result.cursor), run.connection, text_));
  }

  std::shared_ptr<ParametersCollection> parameters_;
  ActiveConnection connection_{kCommand};
  std::string text_;
  std::string name_;
  Long type_ = adCmdUnknown;
  Long timeout_ = 30;
  VariantBool prepared_ = VariantBool::False;
};

}  // namespace

std::shared_ptr<IDispatch> CreateCommand() {
  auto command = std::make_shared<Command>();
  command->MakeParameters();
  return command;
}

}  // namespace kelvane::host::adodb
