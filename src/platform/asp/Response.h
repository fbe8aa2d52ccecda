#pragma once
// The response of the current request, as a page and its components write it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/oleaut/Variant.h"

namespace kelvane::asp {

class Response : public oleaut::IUnknown {
 public:
  // Whether output is held until the page ends (True) or sent as written.
  virtual void put_Buffer(oleaut::VariantBool buffer) = 0;
  // The Content-Type of the body.
  virtual void put_ContentType(std::string type) = 0;
  // Appends the bytes of a byte array (any lower bound) to the body;
  // 13 for anything that is not a byte array.
  virtual void BinaryWrite(const oleaut::Variant& data) = 0;
  // Ends the response: nothing written after it is sent.
  virtual void End() = 0;
};

// The bytes of a byte-array variant; 13 "Type mismatch" for anything else.
std::span<const oleaut::Byte> ByteArrayBytes(const oleaut::Variant& data);

// A response kept in memory, for tests and for running a page as a command.
class MemoryResponse : public Response {
 public:
  void put_Buffer(oleaut::VariantBool buffer) override { buffer_ = buffer; }
  void put_ContentType(std::string type) override { contentType_ = std::move(type); }
  void BinaryWrite(const oleaut::Variant& data) override;
  void End() override { ended_ = true; }

  oleaut::VariantBool Buffer() const { return buffer_; }
  const std::string& ContentType() const { return contentType_; }
  const std::vector<std::uint8_t>& Body() const { return body_; }
  bool Ended() const { return ended_; }

 private:
  oleaut::VariantBool buffer_ = oleaut::VariantBool::True;
  std::string contentType_ = "text/html";
  std::vector<std::uint8_t> body_;
  bool ended_ = false;
};

}  // namespace kelvane::asp
