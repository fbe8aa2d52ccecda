#include "host/objects/adodb/Fields.h"

#include <algorithm>

#include "host/objects/adodb/AdoErrors.h"
#include "host/objects/adodb/Members.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host::adodb {

namespace {

using namespace oleaut;

constexpr const char* kSource = "ADODB.Field";

enum FieldMember : DISPID {
  kValue = DISPID_VALUE, kName = 1, kType, kDefinedSize, kActualSize, kPrecision, kNumericScale,
};

enum FieldsMember : DISPID { kItem = DISPID_VALUE, kCount = 1, kRefresh };

// Characters of UTF-8 text.
Long CharacterCount(const std::string& text) {
  Long count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

// The bytes a value takes, as ADO counts them: characters for text.
Long SizeOf(const Variant& value) {
  switch (value.Type()) {
    case VarType::Null: return 0;
    case VarType::String: return CharacterCount(*value.If<std::string>());
    case VarType::Integer:
    case VarType::Boolean: return 2;
    case VarType::Long:
    case VarType::Single: return 4;
    case VarType::Byte: return 1;
    default:
      if (IsByteArray(value)) return static_cast<Long>(value.If<ArrayRef>()->get()->bytes.size());
      return 8;
  }
}

class Field : public IDispatch {
 public:
  Field(std::shared_ptr<Cursor> cursor, std::size_t index) : cursor_(std::move(cursor)), index_(index) {}

  std::optional<DISPID> GetIDOfName(std::string_view name) const override {
    return FindMember(Description(), name);
  }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (IsPut(kind)) {
      if (id != kValue) RaiseRuntimeError(kMemberNotFound);
      ExpectArgs(args, 1, 1);
      cursor_->Assign(index_, ValueOf(args[0]));
      return {};
    }
    ExpectArgs(args, 0, 0);
    const Column& column = cursor_->Columns()[index_];
    switch (id) {
      case kValue: return cursor_->Value(index_);
      case kName: return column.description.name;
      case kType: return Long{column.adoType};
      case kDefinedSize: return static_cast<Long>(std::min<SQLULEN>(column.description.size, 0x7FFFFFFF));
      case kActualSize: return SizeOf(cursor_->Value(index_));
      case kPrecision: return static_cast<Byte>(std::min<SQLULEN>(column.description.size, 255));
      case kNumericScale: return static_cast<Byte>(std::clamp<SQLSMALLINT>(column.description.decimalDigits, 0, 255));
      default: RaiseRuntimeError(kMemberNotFound);
    }
  }

 private:
  static const InterfaceDesc& Description() {
    static const InterfaceDesc description = DescribeMembers(
        "Field", {{kValue, "Value", false}, {kName, "Name", false}, {kType, "Type", false},
                  {kDefinedSize, "DefinedSize", false}, {kActualSize, "ActualSize", false},
                  {kPrecision, "Precision", false}, {kNumericScale, "NumericScale", false}});
    return description;
  }

  std::shared_ptr<Cursor> cursor_;
  std::size_t index_;
};

const InterfaceDesc& FieldsDescription() {
  static const InterfaceDesc description = DescribeMembers(
      "Fields", {{kItem, "Item", true}, {kCount, "Count", false}, {kRefresh, "Refresh", true}});
  return description;
}

}  // namespace

FieldsCollection::FieldsCollection(std::shared_ptr<Cursor> cursor) : cursor_(std::move(cursor)) {
  const std::size_t count = cursor_->Columns().size();
  fields_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) fields_.push_back(std::make_shared<Field>(cursor_, i));
}

std::size_t FieldsCollection::IndexOf(const Variant& key) const {
  const auto& columns = cursor_->Columns();
  const auto index = FindItem(key, columns.size(), [&](std::size_t i) -> const std::string& {
    return columns[i].description.name;
  });
  if (!index) RaiseAdo(kNotInCollection, "ADODB.Fields");
  return *index;
}

Variant FieldsCollection::Item(const Variant& key) const { return fields_[IndexOf(key)]; }

void FieldsCollection::Assign(std::span<const Variant> args) {
  ExpectArgs(args, 2, 2);
  cursor_->Assign(IndexOf(args[0]), ValueOf(args[1]));
}

std::optional<DISPID> FieldsCollection::GetIDOfName(std::string_view name) const {
  return FindMember(FieldsDescription(), name);
}

const InterfaceDesc* FieldsCollection::GetTypeInfo() const { return &FieldsDescription(); }

Variant FieldsCollection::Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) {
  if (IsPut(kind)) {
    // Fields("name") = value
    if (id != kItem) RaiseRuntimeError(kMemberNotFound);
    Assign(args);
    return {};
  }
  switch (id) {
    case kItem: ExpectArgs(args, 1, 1); return Item(args[0]);
    case kCount: ExpectArgs(args, 0, 0); return static_cast<Long>(cursor_->Columns().size());
    case kRefresh: ExpectArgs(args, 0, 0); return {};
    case DISPID_NEWENUM: {
      cursor_->Columns();  // 3704 once closed
      return ObjectRef(std::make_shared<ListEnumerator>(std::vector<Variant>(fields_.begin(), fields_.end())));
    }
    default: RaiseRuntimeError(kMemberNotFound);
  }
}

}  // namespace kelvane::host::adodb
