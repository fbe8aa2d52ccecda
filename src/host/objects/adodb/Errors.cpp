#include "host/objects/adodb/Errors.h"

#include "host/objects/adodb/Members.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host::adodb {

namespace {

using namespace oleaut;

enum CollectionMember : DISPID { kItem = DISPID_VALUE, kCount = 1, kClear, kRefresh };

enum ErrorMember : DISPID {
  kDescription = DISPID_VALUE, kNumber = 1, kSource, kSqlState, kNativeError, kHelpFile, kHelpContext,
};

// One record as the page reads it.
class Error : public IDispatch {
 public:
  Error(std::int32_t number, std::string source, DriverRecord record)
      : number_(number), source_(std::move(source)), record_(std::move(record)) {}

  std::optional<DISPID> GetIDOfName(std::string_view name) const override {
    return FindMember(Description(), name);
  }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (IsPut(kind)) RaiseRuntimeError(kMemberNotFound);
    ExpectArgs(args, 0, 0);
    switch (id) {
      case kDescription: return record_.message;
      case kNumber: return Long{number_};
      case kSource: return source_;
      case kSqlState: return record_.sqlState;
      case kNativeError: return Long{record_.nativeError};
      case kHelpFile: return std::string();
      case kHelpContext: return Long{0};
      default: RaiseRuntimeError(kMemberNotFound);
    }
  }

 private:
  static const InterfaceDesc& Description() {
    static const InterfaceDesc description =
        DescribeMembers("Error", {{kDescription, "Description", false}, {kNumber, "Number", false},
                                  {kSource, "Source", false}, {kSqlState, "SQLState", false},
                                  {kNativeError, "NativeError", false}, {kHelpFile, "HelpFile", false},
                                  {kHelpContext, "HelpContext", false}});
    return description;
  }

  std::int32_t number_;
  std::string source_;
  DriverRecord record_;
};

const InterfaceDesc& CollectionDescription() {
  static const InterfaceDesc description = DescribeMembers(
      "Errors", {{kItem, "Item", true}, {kCount, "Count", false}, {kClear, "Clear", true}, {kRefresh, "Refresh", true}});
  return description;
}

}  // namespace

void ErrorsCollection::Record(const DatabaseError& error) {
  source_ = error.Source();
  number_ = error.Number();
  records_ = error.Records();
}

std::optional<DISPID> ErrorsCollection::GetIDOfName(std::string_view name) const {
  return FindMember(CollectionDescription(), name);
}

const InterfaceDesc* ErrorsCollection::GetTypeInfo() const { return &CollectionDescription(); }

Variant ErrorsCollection::ErrorObject(std::size_t index) const {
  // Every record of one failure carries the failure's number.
  return ObjectRef(std::make_shared<Error>(number_, source_, records_[index]));
}

Variant ErrorsCollection::Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) {
  if (IsPut(kind)) RaiseRuntimeError(kMemberNotFound);
  switch (id) {
    case kItem: {
      ExpectArgs(args, 1, 1);
      const Long index = VariantTo<Long>(args[0]);
      if (index < 0 || static_cast<std::size_t>(index) >= records_.size()) RaiseAdo(kNotInCollection, "ADODB.Errors");
      return ErrorObject(static_cast<std::size_t>(index));
    }
    case kCount: ExpectArgs(args, 0, 0); return static_cast<Long>(records_.size());
    case kClear: ExpectArgs(args, 0, 0); records_.clear(); return {};
    case kRefresh: ExpectArgs(args, 0, 0); return {};
    case DISPID_NEWENUM: {
      std::vector<Variant> errors;
      errors.reserve(records_.size());
      for (std::size_t i = 0; i < records_.size(); ++i) errors.push_back(ErrorObject(i));
      return ObjectRef(std::make_shared<ListEnumerator>(std::move(errors)));
    }
    default: RaiseRuntimeError(kMemberNotFound);
  }
}

}  // namespace kelvane::host::adodb
