#pragma once
// The response a page writes, and that the components it creates write to:
// the body, the content type and character set, the status, the headers,
// the cookies, how long it may be cached, the code page its text is sent
// in, and whether it has ended. Nothing changes once it has ended. Header
// names and values with line breaks are refused, so that no page can split
// the response.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/pages/CodePages.h"
#include "host/pages/Cookies.h"
#include "host/pages/PageRequest.h"
#include "platform/asp/Response.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host {

// The decimal and group separators of the locale `lcid`: those of the few
// locales that write numbers other than US English does (Danish, German,
// Italian, Dutch, Brazilian Portuguese, Spanish: "1.234,5"; Swiss German:
// "1'234.5"), else US English's.
oleaut::NumberFormat NumberFormatOf(int lcid);

class HostResponse : public asp::Response {
 public:
  void put_Buffer(oleaut::VariantBool buffer) override { buffer_ = buffer; }
  void put_ContentType(std::string type) override;
  void BinaryWrite(const oleaut::Variant& data) override;
  void End() override { ended_ = true; }

  // The page's own calls.
  // Appends UTF-8 `text` in the response's code page.
  void Write(std::string_view text);
  // Appends `bytes` as they are.
  void Append(std::string_view bytes);
  void Clear();
  // 200 to 599; anything else raises 5, so that a client is never left
  // waiting after an informational status.
  void SetStatus(int status);
  void AddHeader(std::string name, std::string value);
  void SetCharset(std::string charset);
  void SetCacheControl(std::string value);
  // The response may be cached for `minutes` (0 or less: not at all).
  void SetExpires(int minutes);
  // The response may be cached until the local date `date` (an Expires header).
  void SetExpiresAbsolute(oleaut::Date date);
  // The PICS-Label header; a label with a line break or NUL raises 5.
  void SetPics(std::string label);
  // Sets `cookie` in place of the one of its name (in any case), if any. A
  // cookie without a name raises 5.
  void SetCookie(ResponseCookie cookie);
  // The cookie `name` as this response set it; nullptr when it has not.
  const ResponseCookie* FindCookie(std::string_view name) const;
  const std::vector<ResponseCookie>& Cookies() const { return cookies_; }
  // The code page of the text written from now on, and the locale the page
  // asks for, whose separators the thread's numbers take from now on (see
  // NumberFormatOf). A code page the host does not speak, or an LCID
  // outside 1 to 0xFFFFF, raises 5. One set by the page's own Response
  // (`fixed`) holds against those the page's directive and its session give
  // later.
  void SetCodePage(int codePage, bool fixed);
  void SetLcid(int lcid, bool fixed);
  // Answers 302 with `url` as the location, and ends. A URL with a CR, LF
  // or NUL raises 5 and changes nothing.
  void Redirect(std::string url);

  oleaut::VariantBool Buffer() const { return buffer_; }
  const std::string& ContentType() const { return reply_.contentType; }
  const std::string& Charset() const { return charset_; }
  const std::string& CacheControl() const { return cacheControl_; }
  int Expires() const { return expires_; }
  std::optional<oleaut::Date> ExpiresAbsolute() const { return expiresAbsolute_; }
  const std::string& Pics() const { return pics_; }
  int CodePage() const { return codePage_; }
  int Lcid() const { return lcid_; }
  int Status() const { return reply_.status; }
  bool Ended() const { return ended_; }

  // The reply as it is to be sent: the character set joined to the content
  // type (that of a code page the page chose when it named none), the
  // caching, label and cookie headers added.
  PageReply& Finish();

 private:
  bool Clean(std::string_view text) const;

  oleaut::VariantBool buffer_ = oleaut::VariantBool::True;
  bool ended_ = false;
  std::string charset_;
  std::string cacheControl_;
  int expires_ = 0;
  bool expiresSet_ = false;
  std::optional<oleaut::Date> expiresAbsolute_;
  std::string pics_;
  std::vector<ResponseCookie> cookies_;
  int codePage_ = kUtf8CodePage;
  bool codePageChosen_ = false;  // by the page, its directive or its session
  bool codePageFixed_ = false;   // by Response.CodePage
  int lcid_ = 1033;
  bool lcidFixed_ = false;
  PageReply reply_;
};

}  // namespace kelvane::host
