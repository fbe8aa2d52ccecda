#pragma once
// The Fields of an open recordset (Count, Item by name or ordinal as the
// default member, For Each) and each Field: Value (the default member),
// Name, Type (ADO's type number), DefinedSize, ActualSize, Precision,
// NumericScale. Fields read the recordset's current record; where its
// rows can be edited, assigning a Value changes it.

#include <memory>

#include "host/objects/adodb/Cursor.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

class FieldsCollection : public oleaut::IDispatch {
 public:
  explicit FieldsCollection(std::shared_ptr<Cursor> cursor);

  // The index of the field `key` names (a name in any letter case, or a
  // 0-based ordinal); 3265 when there is none.
  std::size_t IndexOf(const oleaut::Variant& key) const;
  // The Field object of `key`.
  oleaut::Variant Item(const oleaut::Variant& key) const;
  // Sets the field args[0] names of the current record to args[1].
  void Assign(std::span<const oleaut::Variant> args);

  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override;
  const oleaut::InterfaceDesc* GetTypeInfo() const override;
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t kind, std::span<const oleaut::Variant> args) override;

 private:
  std::shared_ptr<Cursor> cursor_;
  std::vector<oleaut::ObjectRef> fields_;
};

}  // namespace kelvane::host::adodb
