#pragma once
// The response a page writes, and that the components it creates write to:
// the body, the content type, the status, the headers, and whether it has
// ended. The body counts against the page's memory: a write past the limit
// raises 7 "Out of memory" and adds nothing.

#include <string>

#include "host/pages/PageRequest.h"
#include "platform/asp/Response.h"

namespace kelvane::host {

class HostResponse : public asp::Response {
 public:
  HostResponse() = default;
  ~HostResponse() override;
  HostResponse(const HostResponse&) = delete;
  HostResponse& operator=(const HostResponse&) = delete;

  void put_Buffer(oleaut::VariantBool buffer) override { buffer_ = buffer; }
  void put_ContentType(std::string type) override;
  void BinaryWrite(const oleaut::Variant& data) override;
  void End() override { ended_ = true; }

  // The page's own calls.
  void Write(std::string_view text);
  void Clear();
  void SetStatus(int status) { reply_.status = status; }
  void AddHeader(std::string name, std::string value);

  bool Ended() const { return ended_; }
  PageReply& Reply() { return reply_; }

 private:
  oleaut::VariantBool buffer_ = oleaut::VariantBool::True;
  void Append(std::string_view bytes);

  bool ended_ = false;
  PageReply reply_;
  std::size_t charged_ = 0;  // bytes of body charged to the page's memory
};

}  // namespace kelvane::host
