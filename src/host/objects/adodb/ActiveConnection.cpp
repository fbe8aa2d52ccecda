#include "host/objects/adodb/ActiveConnection.h"

#include "host/objects/adodb/AdoErrors.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host::adodb {

void ActiveConnection::Set(const oleaut::Variant& value) {
  if (!value.IsObject()) {
    Set(std::shared_ptr<ConnectionObject>());
    connectionString_ = value.IsNull() || value.IsMissing() ? std::string() : oleaut::ToString(value);
    return;
  }
  const oleaut::ObjectRef object = oleaut::ToObject(value);
  auto connection = std::dynamic_pointer_cast<ConnectionObject>(object);
  if (object != nullptr && connection == nullptr) RaiseAdo(kWrongArguments, source_);
  Set(std::move(connection));
}

void ActiveConnection::Set(std::shared_ptr<ConnectionObject> connection) {
  Release();
  connection_ = std::move(connection);
  connectionString_.clear();
}

const std::shared_ptr<ConnectionObject>& ActiveConnection::Get() {
  if (connection_ == nullptr) {
    if (connectionString_.empty()) RaiseAdo(kConnectionNotUsable, source_);
    auto connection = std::make_shared<ConnectionObject>();
    connection->Open(connectionString_, {}, {});
    connection_ = std::move(connection);
    owned_ = true;
  }
  return connection_;
}

oleaut::Variant ActiveConnection::Value() const {
  if (connection_ != nullptr) return oleaut::ObjectRef(connection_);
  return connectionString_;
}

void ActiveConnection::Release() {
  if (!owned_) return;
  owned_ = false;
  const auto connection = std::move(connection_);
  connection_ = nullptr;
  connection->Close();
}

void ActiveConnection::Record(const DatabaseError& error) const {
  if (connection_ != nullptr) connection_->Record(error);
}

}  // namespace kelvane::host::adodb
