#include "platform/asp/Response.h"

#include "platform/oleaut/AutomationError.h"

namespace kelvane::asp {

std::span<const oleaut::Byte> ByteArrayBytes(const oleaut::Variant& data) {
  const auto* array = data.If<oleaut::ArrayRef>();
  if (array == nullptr || !*array || (*array)->elementType != oleaut::VarType::Byte)
    oleaut::RaiseRuntimeError(oleaut::kTypeMismatch);
  return (*array)->bytes;
}

void MemoryResponse::BinaryWrite(const oleaut::Variant& data) {
  if (ended_) return;
  const auto bytes = ByteArrayBytes(data);
  body_.insert(body_.end(), bytes.begin(), bytes.end());
}

}  // namespace kelvane::asp
