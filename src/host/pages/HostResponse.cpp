#include "host/pages/HostResponse.h"

#include <algorithm>

#include "platform/memory/PageMemory.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host {

namespace {

// Header names and values must not carry line breaks into the response.
bool Clean(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

}  // namespace

void HostResponse::put_ContentType(std::string type) {
  if (!ended_ && Clean(type)) reply_.contentType = std::move(type);
}

HostResponse::~HostResponse() { memory::Release(charged_); }

// Grows the body as std::string would, charging each growth of its memory.
void HostResponse::Append(std::string_view bytes) {
  if (ended_) return;
  std::string& body = reply_.body;
  if (bytes.size() > body.capacity() - body.size()) {
    const std::size_t needed = body.size() + bytes.size();
    const std::size_t capacity = std::max(needed, 2 * body.capacity());
    const std::size_t growth = capacity - body.capacity();
    if (!memory::Charge(growth)) oleaut::RaiseRuntimeError(oleaut::kOutOfMemory);
    try {
      body.reserve(capacity);
    } catch (...) {
      memory::Release(growth);
      throw;
    }
    charged_ += growth;
  }
  body.append(bytes);
}

void HostResponse::BinaryWrite(const oleaut::Variant& data) {
  const auto bytes = asp::ByteArrayBytes(data);
  Append({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

void HostResponse::Write(std::string_view text) { Append(text); }

void HostResponse::Clear() {
  if (ended_) return;
  reply_.body.clear();
}

void HostResponse::AddHeader(std::string name, std::string value) {
  if (!ended_ && Clean(name) && Clean(value) && !name.empty())
    reply_.headers.emplace_back(std::move(name), std::move(value));
}

}  // namespace kelvane::host
