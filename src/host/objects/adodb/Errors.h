#pragma once
// The Errors collection of a Connection: the driver's records of the last
// call that failed (Count, Item as the default member, Clear, For Each),
// each an Error with Number, Description, Source, SQLState, NativeError.

#include <memory>
#include <string>
#include <vector>

#include "host/objects/adodb/AdoErrors.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

class ErrorsCollection : public oleaut::IDispatch {
 public:
  // Replaces what the collection holds with the records of `error`.
  void Record(const DatabaseError& error);

  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override;
  const oleaut::InterfaceDesc* GetTypeInfo() const override;
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t kind, std::span<const oleaut::Variant> args) override;

 private:
  oleaut::Variant ErrorObject(std::size_t index) const;

  std::string source_;
  std::int32_t number_ = 0;
  std::vector<DriverRecord> records_;
};

}  // namespace kelvane::host::adodb
