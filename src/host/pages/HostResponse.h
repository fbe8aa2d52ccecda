#pragma once
// The response a page writes, and that the components it creates write to:
// the body, the content type and character set, the status, the headers,
// the cookies, how long it may be cached, and whether it has ended. Nothing
// changes once it has ended. Header names and values with line breaks are
// refused, so that no page can split the response.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/pages/PageRequest.h"
#include "platform/asp/Response.h"

namespace kelvane::host {

class HostResponse : public asp::Response {
 public:
  void put_Buffer(oleaut::VariantBool buffer) override { buffer_ = buffer; }
  void put_ContentType(std::string type) override;
  void BinaryWrite(const oleaut::Variant& data) override;
  void End() override { ended_ = true; }

  // The page's own calls.
  void Write(std::string_view text);
  void Clear();
  // 200 to 599; anything else raises 5, so that a client is never left
  // waiting after an informational status.
  void SetStatus(int status);
  void AddHeader(std::string name, std::string value);
  void SetCharset(std::string charset);
  void SetCacheControl(std::string value);
  // The response may be cached for `minutes` (0 or less: not at all).
  void SetExpires(int minutes);
  // Sets the cookie `name` for the whole site; the value is sent URL-encoded.
  void SetCookie(std::string name, std::string value);
  // The value set for cookie `name` by this response; empty when none.
  std::string Cookie(std::string_view name) const;
  // Answers 302 with `url` as the location, and ends. A URL with a CR, LF
  // or NUL raises 5 and changes nothing.
  void Redirect(std::string url);

  oleaut::VariantBool Buffer() const { return buffer_; }
  const std::string& ContentType() const { return reply_.contentType; }
  const std::string& Charset() const { return charset_; }
  const std::string& CacheControl() const { return cacheControl_; }
  int Expires() const { return expires_; }
  int Status() const { return reply_.status; }
  bool Ended() const { return ended_; }

  // The reply as it is to be sent: the character set joined to the content
  // type, the caching and cookie headers added.
  PageReply& Finish();

 private:
  bool Clean(std::string_view text) const;

  oleaut::VariantBool buffer_ = oleaut::VariantBool::True;
  bool ended_ = false;
  std::string charset_;
  std::string cacheControl_;
  int expires_ = 0;
  bool expiresSet_ = false;
  std::vector<std::pair<std::string, std::string>> cookies_;
  PageReply reply_;
};

}  // namespace kelvane::host
