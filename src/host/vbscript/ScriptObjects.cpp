#include "host/vbscript/ScriptObjects.h"

#include <array>

#include "host/vbscript/Compiler.h"
#include "host/vbscript/Runtime.h"
#include "host/vbscript/ScriptError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::vbscript {

namespace {

using namespace oleaut;

}  // namespace

ScriptObject::ScriptObject(std::weak_ptr<Runtime> runtime, std::uint64_t runSerial, const ClassInfo& info,
                           std::int32_t classIndex, std::shared_ptr<const Program> unit)
    : runtime_(std::move(runtime)), runSerial_(runSerial), unit_(std::move(unit)), info_(info),
      classIndex_(classIndex), fields_(info.fieldNames.size()) {
  description_.name = info.name;
}

ScriptObject::~ScriptObject() {
  if (info_.terminate < 0) return;
  if (const auto runtime = runtime_.lock()) runtime->Terminate(*this);
}

void ScriptObject::DropValues() noexcept {
  for (auto& field : fields_) {
    // What the field held dies after the field is empty: a terminator it
    // runs finds the object consistent.
    Variant dying = std::move(field);
    field = Variant();
  }
}

std::optional<DISPID> ScriptObject::GetIDOfName(std::string_view name) const {
  const auto it = info_.memberIndex.find(FoldCase(name));
  if (it == info_.memberIndex.end()) return std::nullopt;
  return it->second + 1;
}

const ClassMember& ScriptObject::Member(std::int32_t index, const ScriptObject* caller) const {
  if (index < 0 || index >= static_cast<std::int32_t>(info_.members.size())) RaiseRuntimeError(kMemberNotFound);
  const ClassMember& member = info_.members[static_cast<std::size_t>(index)];
  if (!member.isPublic && caller != this) RaiseRuntimeError(kMemberNotFound);
  return member;
}

std::int32_t ScriptObject::ProcedureOf(const ClassMember& member, std::uint16_t kind) {
  std::int32_t procedure = -1;
  if ((kind & DISPATCH_PROPERTYPUTREF) != 0) procedure = member.set >= 0 ? member.set : member.let;
  else if ((kind & DISPATCH_PROPERTYPUT) != 0) procedure = member.let;
  else procedure = member.method >= 0 ? member.method : member.get;
  if (procedure >= 0) return procedure;
  const bool put = (kind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  RaiseRuntimeError(put ? kWrongArgumentCount : kMemberNotFound);
}

Variant ScriptObject::ReadField(std::int32_t field, std::span<const Variant> args, Runtime& runtime) {
  const Variant& value = fields_[static_cast<std::size_t>(field)];
  if (args.empty()) return value;
  std::vector<Variant> indexes(args.begin(), args.end());
  return runtime.IndexOrDefault(value, indexes);
}

void ScriptObject::WriteField(std::int32_t field, std::span<const Variant> args) {
  Variant& value = fields_[static_cast<std::size_t>(field)];
  if (args.empty()) RaiseRuntimeError(kWrongArgumentCount);
  if (args.size() == 1) {
    value = args[0];
    return;
  }
  // o.field(i) = value: an element of the array the field holds.
  std::vector<Variant> indexes(args.begin(), args.end() - 1);
  Runtime::StoreElement(value, indexes, args.back());
}

Variant ScriptObject::Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) {
  // The page's own objects are the language's: their errors are its errors.
  const ErrorSourceScope source(kRuntimeSource);
  const auto runtime = runtime_.lock();
  if (!runtime) RaiseRuntimeError(kObjectNotSet);
  const ClassMember& member = Member(id == DISPID_VALUE ? info_.defaultMember : id - 1, runtime->CurrentMe());
  if (member.field >= 0) {
    if ((kind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) == 0) return ReadField(member.field, args, *runtime);
    WriteField(member.field, args);
    return {};
  }
  return runtime->CallProcedure(Unit(runtime->Code()), ProcedureOf(member, kind), this, args);
}

std::optional<DISPID> ProcedureReference::GetIDOfName(std::string_view) const { return std::nullopt; }

Variant ProcedureReference::Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) {
  const auto runtime = runtime_.lock();
  if (!runtime) RaiseRuntimeError(kObjectNotSet);
  if (id != DISPID_VALUE || (kind & DISPATCH_METHOD) == 0) RaiseRuntimeError(kMemberNotFound);
  return runtime->CallProcedure(unit_ ? *unit_ : runtime->Code(), index_, nullptr, args);
}

namespace {

// The number Err.Raise raises: a runtime error's HRESULT is its number; 0,
// and numbers above 65535 that are no HRESULT, are 5.
Long RaisedNumber(Long number) {
  if (number == 0 || number > 0xFFFF) return kInvalidProcedureCall;
  return RuntimeNumberOf(number);
}

enum ErrMember : DISPID { kNumber = 0, kSource, kDescription, kHelpFile, kHelpContext, kClear, kRaise };

constexpr std::array<std::string_view, 7> kErrNames = {"number", "source", "description", "helpfile",
                                                       "helpcontext", "clear", "raise"};

}  // namespace

std::optional<DISPID> ErrObject::GetIDOfName(std::string_view name) const {
  const std::string folded = FoldCase(name);
  for (std::size_t i = 0; i < kErrNames.size(); ++i)
    if (kErrNames[i] == folded) return static_cast<DISPID>(i);
  return std::nullopt;
}

Variant ErrObject::Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) {
  const ErrorSourceScope source(kRuntimeSource);
  const bool put = (kind & DISPATCH_PROPERTYPUT) != 0;
  if (put && args.size() != 1) RaiseRuntimeError(kWrongArgumentCount);
  switch (id) {
    case kNumber:
      if (put) number_ = ToLong(args[0]);
      return put ? Variant() : Variant(number_);
    case kSource:
      if (put) source_ = ToString(args[0]);
      return put ? Variant() : Variant(source_);
    case kDescription:
      if (put) description_ = ToString(args[0]);
      return put ? Variant() : Variant(description_);
    case kHelpFile:
      if (put) helpFile_ = ToString(args[0]);
      return put ? Variant() : Variant(helpFile_);
    case kHelpContext:
      if (put) helpContext_ = ToLong(args[0]);
      return put ? Variant() : Variant(helpContext_);
    case kClear:
      Clear();
      return {};
    case kRaise: {
      if (args.empty() || args.size() > 5) RaiseRuntimeError(kWrongArgumentCount);
      const Long number = RaisedNumber(ToLong(args[0]));
      // What is left out keeps what Err holds, or the runtime's own when
      // Err holds nothing.
      const auto given = [&](std::size_t i) {
        return i < args.size() && !args[i].IsEmpty() && !args[i].IsMissing();
      };
      const auto text = [&](std::size_t i, const std::string& held, std::string_view fallback) {
        if (given(i)) return ToString(args[i]);
        return held.empty() ? std::string(fallback) : held;
      };
      throw AutomationError(number, text(1, source_, kRuntimeSource),
                            text(2, description_, RuntimeErrorText(number)), text(3, helpFile_, {}),
                            given(4) ? ToLong(args[4]) : helpContext_);
    }
    default: RaiseRuntimeError(kMemberNotFound);
  }
}

void ErrObject::Record(const AutomationError& error) {
  number_ = error.Number();
  source_ = error.Source();
  description_ = error.Description();
  helpFile_ = error.HelpFile();
  helpContext_ = error.HelpContext();
}

void ErrObject::Clear() {
  number_ = 0;
  source_.clear();
  description_.clear();
  helpFile_.clear();
  helpContext_ = 0;
}

}  // namespace kelvane::host::vbscript
