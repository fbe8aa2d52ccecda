#include "host/HostResponse.h"

namespace kelvane::host {

namespace {

// Header names and values must not carry line breaks into the response.
bool Clean(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

}  // namespace

void HostResponse::put_ContentType(std::string type) {
  if (!ended_ && Clean(type)) reply_.contentType = std::move(type);
}

void HostResponse::BinaryWrite(const oleaut::Variant& data) {
  const auto bytes = asp::ByteArrayBytes(data);
  if (!ended_) reply_.body.append(bytes.begin(), bytes.end());
}

void HostResponse::Write(std::string_view text) {
  if (!ended_) reply_.body.append(text);
}

void HostResponse::Clear() {
  if (!ended_) reply_.body.clear();
}

void HostResponse::AddHeader(std::string name, std::string value) {
  if (!ended_ && Clean(name) && Clean(value) && !name.empty())
    reply_.headers.emplace_back(std::move(name), std::move(value));
}

}  // namespace kelvane::host
