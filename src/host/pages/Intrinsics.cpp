#include "host/pages/Intrinsics.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "host/pages/CodePages.h"
#include "host/pages/PageEngine.h"
#include "host/pages/PageLanguages.h"
#include "host/pages/PageObjects.h"
#include "host/pages/ServerVariables.h"
#include "host/pages/SiteFiles.h"
#include "host/pages/SiteState.h"
#include "host/pages/WebText.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DateTime.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::host {

namespace {

using oleaut::SameName;

namespace fs = std::filesystem;
using oleaut::DISPATCH_METHOD;
using oleaut::DISPATCH_PROPERTYGET;
using oleaut::DISPATCH_PROPERTYPUT;
using oleaut::DISPID;
using oleaut::DISPID_NEWENUM;
using oleaut::DISPID_VALUE;
using oleaut::FuncDesc;
using oleaut::InterfaceDesc;
using oleaut::ObjectRef;
using oleaut::Variant;
using oleaut::VarType;

void ExpectArguments(std::span<const Variant> args, std::size_t fewest, std::size_t most) {
  if (args.size() < fewest || args.size() > most) oleaut::RaiseRuntimeError(oleaut::kWrongArgumentCount);
}

bool IsPut(std::uint16_t kind) { return (kind & (DISPATCH_PROPERTYPUT | oleaut::DISPATCH_PROPERTYPUTREF)) != 0; }

[[noreturn]] void Refuse(std::string description) {
  throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane", std::move(description));
}

FuncDesc Method(DISPID id, std::string_view name) { return {id, name, DISPATCH_METHOD, {}, VarType::Variant}; }
FuncDesc Get(DISPID id, std::string_view name) { return {id, name, DISPATCH_PROPERTYGET, {}, VarType::Variant}; }
FuncDesc Put(DISPID id, std::string_view name) { return {id, name, DISPATCH_PROPERTYPUT, {}, VarType::Void}; }

// An object whose members are found by name in its description, which also
// tells a script its methods from its properties.
template <class Base = oleaut::IDispatch>
class Described : public Base {
 public:
  explicit Described(const InterfaceDesc& description) : description_(description) {}
  std::optional<DISPID> GetIDOfName(std::string_view name) const override {
    return oleaut::FindMember(description_, name);
  }
  const InterfaceDesc* GetTypeInfo() const override { return &description_; }

 private:
  const InterfaceDesc& description_;
};

Variant Names(const std::vector<std::string>& names) {
  std::vector<Variant> values(names.begin(), names.end());
  return ObjectRef(std::make_shared<oleaut::ListEnumerator>(std::move(values)));
}

// ---- Request ----

enum CollectionMember : DISPID { kCount = 1, kKey, kHasKeys };

// The index from 0 of a position from 1; SIZE_MAX for a position below 1.
std::size_t Position(const Variant& key) {
  const oleaut::Long position = oleaut::ToLong(key);
  return position >= 1 ? static_cast<std::size_t>(position - 1) : SIZE_MAX;
}

// Count, Key(i) and For Each of a collection of `entries`, each named by
// `nameOf`; nullopt for another member.
template <class Entries, class NameOf>
std::optional<Variant> NamesMember(DISPID id, std::span<const Variant> args, const Entries& entries, NameOf nameOf) {
  switch (id) {
    case kCount: ExpectArguments(args, 0, 0); return static_cast<oleaut::Long>(entries.size());
    case kKey: {
      ExpectArguments(args, 1, 1);
      const std::size_t at = Position(args[0]);
      return at < entries.size() ? Variant(nameOf(entries[at])) : Variant();
    }
    case DISPID_NEWENUM: {
      std::vector<std::string> names;
      for (const auto& entry : entries) names.push_back(nameOf(entry));
      return Names(names);
    }
    default: return std::nullopt;
  }
}

constexpr auto kFirst = [](const auto& pair) -> const std::string& { return pair.first; };

// The values of a name sent twice or more, joined by ", "; Empty for none.
Variant Joined(const std::vector<std::string>& values) {
  if (values.empty()) return {};
  std::string text = values.front();
  for (std::size_t i = 1; i < values.size(); ++i) text.append(", ").append(values[i]);
  return text;
}

const InterfaceDesc& FieldDescription() {
  static const InterfaceDesc description{"IStringList", {}, 0, "IDispatch",
                                         {Get(DISPID_VALUE, "Item"), Get(kCount, "Count")}};
  return description;
}

// The values of one field of the query string or the form, in the order
// sent; none when the field was not sent.
class FieldValues : public Described<RequestValue> {
 public:
  explicit FieldValues(std::vector<std::string> values)
      : Described(FieldDescription()), values_(std::move(values)) {}

  Variant Text() const override { return Joined(values_); }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (IsPut(kind)) oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    switch (id) {
      case DISPID_VALUE: {
        ExpectArguments(args, 0, 1);
        if (args.empty()) return Text();
        const std::size_t at = Position(args[0]);
        if (at >= values_.size()) oleaut::RaiseRuntimeError(oleaut::kSubscriptOutOfRange);
        return values_[at];
      }
      case kCount: ExpectArguments(args, 0, 0); return static_cast<oleaut::Long>(values_.size());
      case DISPID_NEWENUM: return Names(values_);
      default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  std::vector<std::string> values_;
};

const InterfaceDesc& CookieDescription() {
  static const InterfaceDesc description{
      "IReadCookie", {}, 0, "IDispatch",
      {Get(DISPID_VALUE, "Item"), Get(kHasKeys, "HasKeys"), Get(kCount, "Count"), Get(kKey, "Key")}};
  return description;
}

// Names and values read in `codePage`.
Fields InCodePage(Fields fields, int codePage) {
  if (codePage == kUtf8CodePage) return fields;
  for (auto& [name, value] : fields) {
    name = DecodeText(name, codePage);
    value = DecodeText(value, codePage);
  }
  return fields;
}

// A cookie of the request, as sent: a value, or keys with values
// ("k1=v1&k2=v2"); nullopt when it was not sent.
class RequestCookie : public Described<RequestValue> {
 public:
  RequestCookie(const std::optional<std::string_view>& sent, int codePage) : Described(CookieDescription()) {
    if (!sent) return;
    text_ = DecodeText(UrlDecode(*sent), codePage);
    if (sent->find('=') != std::string_view::npos) keys_ = InCodePage(ParseFields(*sent), codePage);
  }

  Variant Text() const override { return text_ ? Variant(*text_) : Variant(); }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (IsPut(kind)) oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    switch (id) {
      case DISPID_VALUE:
        ExpectArguments(args, 0, 1);
        if (args.empty()) return Text();
        if (const auto* key = args[0].If<std::string>()) {
          for (const auto& [name, value] : keys_)
            if (SameName(name, *key)) return value;
          return {};
        }
        return Position(args[0]) < keys_.size() ? Variant(keys_[Position(args[0])].second) : Variant();
      case kHasKeys: ExpectArguments(args, 0, 0); return oleaut::ToVariantBool(!keys_.empty());
      default:
        if (auto names = NamesMember(id, args, keys_, kFirst)) return *std::move(names);
        oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  std::optional<std::string> text_;
  Fields keys_;
};

const InterfaceDesc& CollectionDescription() {
  static const InterfaceDesc description{
      "IRequestDictionary", {}, 0, "IDispatch",
      {Get(DISPID_VALUE, "Item"), Get(kCount, "Count"), Get(kKey, "Key")}};
  return description;
}

// Values of a request by name, names in any case, in the order first sent.
// An item is a field's values, a cookie, or the text of a server variable
// (a name sent twice has its values joined by ", ").
class Collection : public Described<> {
 public:
  enum class Kind { Fields, Cookies, Variables };

  // Cookies are read in `codePage`.
  Collection(Kind kind, const Fields& fields, std::string raw, int codePage = kUtf8CodePage)
      : Described(CollectionDescription()), kind_(kind), raw_(std::move(raw)), codePage_(codePage) {
    for (const auto& field : fields) {
      const auto same = std::find_if(entries_.begin(), entries_.end(),
                                     [&](const auto& entry) { return SameName(entry.first, field.first); });
      if (same == entries_.end()) entries_.push_back({field.first, {field.second}});
      else same->second.push_back(field.second);
    }
  }

  // The item of a name, or of a position from 1; nullopt when there is none.
  std::optional<Variant> Find(const Variant& key) const {
    std::size_t at = entries_.size();
    if (const auto* name = key.If<std::string>()) {
      at = static_cast<std::size_t>(std::find_if(entries_.begin(), entries_.end(),
                                                 [&](const auto& entry) { return SameName(entry.first, *name); }) -
                                    entries_.begin());
    } else {
      at = std::min(Position(key), entries_.size());
    }
    if (at == entries_.size()) return std::nullopt;
    const std::vector<std::string>& values = entries_[at].second;
    switch (kind_) {
      case Kind::Fields: return ObjectRef(std::make_shared<FieldValues>(values));
      case Kind::Cookies: return ObjectRef(std::make_shared<RequestCookie>(values.front(), codePage_));
      case Kind::Variables: return Joined(values);
    }
    return std::nullopt;
  }

  // The item of a name or position: for one not sent, a field without
  // values or a cookie without text, and Empty for a server variable.
  Variant Item(const Variant& key) const {
    if (auto item = Find(key)) return *std::move(item);
    switch (kind_) {
      case Kind::Fields: return ObjectRef(std::make_shared<FieldValues>(std::vector<std::string>{}));
      case Kind::Cookies: return ObjectRef(std::make_shared<RequestCookie>(std::nullopt, codePage_));
      case Kind::Variables: return {};
    }
    return {};
  }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (IsPut(kind)) oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    switch (id) {
      case DISPID_VALUE:
        ExpectArguments(args, 0, 1);
        return args.empty() ? Variant(raw_) : Item(args[0]);
      default:
        if (auto names = NamesMember(id, args, entries_, kFirst)) return *std::move(names);
        oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  Kind kind_;
  std::string raw_;
  int codePage_;
  std::vector<std::pair<std::string, std::vector<std::string>>> entries_;
};

enum RequestMember : DISPID { kQueryString = 1, kForm, kCookies, kServerVariables, kTotalBytes, kBinaryRead };

const InterfaceDesc& RequestDescription() {
  static const InterfaceDesc description{
      "IRequest", {}, 0, "IDispatch",
      {Get(DISPID_VALUE, "Item"), Get(kQueryString, "QueryString"), Get(kForm, "Form"),
       Get(kCookies, "Cookies"), Get(kServerVariables, "ServerVariables"), Get(kTotalBytes, "TotalBytes"),
       Method(kBinaryRead, "BinaryRead")}};
  return description;
}

// The request's cookies, from every Cookie header, their values as sent.
Fields RequestCookies(const PageRequest& request) {
  Fields cookies;
  for (const auto& [header, text] : request.headers) {
    if (!SameName(header, "Cookie")) continue;
    for (auto& cookie : ParseCookies(text)) cookies.push_back(std::move(cookie));
  }
  return cookies;
}

// The body is read either as the form or by BinaryRead, not both.
[[noreturn]] void RefuseBodyTwice(const char* description) {
  constexpr auto kFailed = static_cast<std::int32_t>(0x80004005u);
  throw oleaut::AutomationError(kFailed, "Request object", description);
}

class RequestObject : public Described<> {
 public:
  explicit RequestObject(PageContext& context) : Described(RequestDescription()), context_(context) {}

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (IsPut(kind)) oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    const PageRequest& request = context_.request;
    switch (id) {
      case DISPID_VALUE:
        ExpectArguments(args, 1, 1);
        for (const DISPID each : {kQueryString, kForm, kCookies, kServerVariables})
          if (auto item = Of(each).Find(args[0])) return *std::move(item);
        return {};
      case kQueryString:
      case kForm:
      case kCookies:
      case kServerVariables: {
        ExpectArguments(args, 0, 1);
        Collection& collection = Of(id);
        if (args.empty()) return ObjectRef(collections_[id - kQueryString]);
        return collection.Item(args[0]);
      }
      case kTotalBytes:
        ExpectArguments(args, 0, 0);
        return static_cast<oleaut::Long>(std::min<std::size_t>(request.body.size(), INT32_MAX));
      case kBinaryRead: {
        ExpectArguments(args, 1, 1);
        if (collections_[kForm - kQueryString]) RefuseBodyTwice("Cannot call BinaryRead after using Request.Form collection.");
        const oleaut::Long count = oleaut::ToLong(args[0]);
        if (count < 0) oleaut::RaiseRuntimeError(oleaut::kInvalidProcedureCall);
        const std::size_t size = std::min(static_cast<std::size_t>(count), request.body.size() - bodyRead_);
        const auto from = request.body.begin() + static_cast<std::ptrdiff_t>(bodyRead_);
        std::vector<oleaut::Byte> bytes(from, from + static_cast<std::ptrdiff_t>(size));
        bodyRead_ += size;
        binaryRead_ = true;
        return Variant::ByteArray(std::move(bytes), 0);
      }
      default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  // Each collection is decoded on its first use, in the code page the
  // response has then.
  Collection& Of(DISPID id) {
    auto& collection = collections_[id - kQueryString];
    if (collection) return *collection;
    const PageRequest& request = context_.request;
    const int codePage = context_.response->CodePage();
    switch (id) {
      case kQueryString:
        collection = std::make_shared<Collection>(Collection::Kind::Fields,
                                                  InCodePage(ParseFields(request.queryString), codePage),
                                                  request.queryString);
        break;
      case kForm:
        if (binaryRead_) RefuseBodyTwice("Cannot use Request.Form collection after calling BinaryRead.");
        collection = std::make_shared<Collection>(
            Collection::Kind::Fields, IsFormBody(request) ? InCodePage(ParseFields(request.body), codePage) : Fields{},
            request.body);
        break;
      case kCookies:
        collection = std::make_shared<Collection>(Collection::Kind::Cookies, RequestCookies(request), "", codePage);
        break;
      default:
        collection = std::make_shared<Collection>(Collection::Kind::Variables,
                                                  ServerVariables(request, context_.root, context_.page), "");
        break;
    }
    return *collection;
  }

  PageContext& context_;
  std::shared_ptr<Collection> collections_[4];
  std::size_t bodyRead_ = 0;
  bool binaryRead_ = false;
};

// ---- Response ----

enum ResponseMember : DISPID {
  kWrite = 1, kBinaryWrite, kContentType, kCharset, kBuffer, kStatus, kAddHeader, kRedirect, kResponseCookies,
  kExpires, kCacheControl, kClear, kFlush, kEnd, kIsClientConnected, kCodePage, kLcid, kExpiresAbsolute, kPics,
};

const InterfaceDesc& ResponseDescription() {
  static const InterfaceDesc description{
      "IResponse", {}, 0, "IDispatch",
      {Method(kWrite, "Write"), Method(kBinaryWrite, "BinaryWrite"), Get(kContentType, "ContentType"),
       Put(kContentType, "ContentType"), Get(kCharset, "Charset"), Put(kCharset, "Charset"),
       Get(kBuffer, "Buffer"), Put(kBuffer, "Buffer"), Get(kStatus, "Status"), Put(kStatus, "Status"),
       Method(kAddHeader, "AddHeader"), Method(kRedirect, "Redirect"), Get(kResponseCookies, "Cookies"),
       Put(kResponseCookies, "Cookies"), Get(kExpires, "Expires"), Put(kExpires, "Expires"),
       Get(kCacheControl, "CacheControl"), Put(kCacheControl, "CacheControl"), Method(kClear, "Clear"),
       Method(kFlush, "Flush"), Method(kEnd, "End"), Get(kIsClientConnected, "IsClientConnected"),
       Get(kCodePage, "CodePage"), Put(kCodePage, "CodePage"), Get(kLcid, "LCID"), Put(kLcid, "LCID"),
       Get(kExpiresAbsolute, "ExpiresAbsolute"), Put(kExpiresAbsolute, "ExpiresAbsolute"), Get(kPics, "PICS"),
       Put(kPics, "PICS")}};
  return description;
}

// "404 Not Found" or 404 as a status.
int StatusOf(const Variant& value) {
  if (const auto* text = value.If<std::string>()) return std::atoi(text->c_str());
  return oleaut::ToLong(value);
}

enum CookieMember : DISPID { kCookieExpires = 1, kDomain, kPath, kSecure, kHttpOnly, kCookieHasKeys };

const InterfaceDesc& WriteCookieDescription() {
  static const InterfaceDesc description{
      "IWriteCookie", {}, 0, "IDispatch",
      {Get(DISPID_VALUE, "Item"), Put(DISPID_VALUE, "Item"), Get(kCookieExpires, "Expires"),
       Put(kCookieExpires, "Expires"), Get(kDomain, "Domain"), Put(kDomain, "Domain"), Get(kPath, "Path"),
       Put(kPath, "Path"), Get(kSecure, "Secure"), Put(kSecure, "Secure"), Get(kHttpOnly, "HttpOnly"),
       Put(kHttpOnly, "HttpOnly"), Get(kCookieHasKeys, "HasKeys")}};
  return description;
}

// A cookie the response sets, by name: Response.Cookies("c") = "v",
// Response.Cookies("c")("k") = "v", its attributes; read, what the response
// has set (Empty for what it has not).
class WriteCookie : public Described<> {
 public:
  WriteCookie(std::shared_ptr<HostResponse> response, std::string name)
      : Described(WriteCookieDescription()), response_(std::move(response)), name_(std::move(name)) {}

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (IsPut(kind)) {
      ExpectArguments(args, 1, id == DISPID_VALUE ? 2 : 1);
      const Variant& value = args.back();
      // A change that cannot be made leaves the cookie as it was.
      const ResponseCookie* before = response_->FindCookie(name_);
      ResponseCookie cookie = before != nullptr ? *before : ResponseCookie(name_);
      switch (id) {
        case DISPID_VALUE:
          if (args.size() == 2) cookie.SetKey(oleaut::ToString(args[0]), oleaut::ToString(value));
          else cookie.SetValue(oleaut::ToString(value));
          break;
        case kCookieExpires: cookie.SetExpires(oleaut::ToDate(value)); break;
        case kDomain: cookie.SetDomain(oleaut::ToString(value)); break;
        case kPath: cookie.SetPath(oleaut::ToString(value)); break;
        case kSecure: cookie.SetSecure(oleaut::IsTrue(oleaut::ToBoolean(value))); break;
        case kHttpOnly: cookie.SetHttpOnly(oleaut::IsTrue(oleaut::ToBoolean(value))); break;
        default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
      }
      response_->SetCookie(std::move(cookie));
      return {};
    }
    ExpectArguments(args, 0, id == DISPID_VALUE ? 1 : 0);
    const ResponseCookie* cookie = response_->FindCookie(name_);
    if (cookie == nullptr) {
      if (id == kCookieHasKeys) return oleaut::VariantBool::False;
      if (id == DISPID_VALUE || (id >= kCookieExpires && id <= kHttpOnly)) return {};
      oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
    switch (id) {
      case DISPID_VALUE:
        return args.empty() ? cookie->Text() : cookie->Key(oleaut::ToString(args[0]));
      case kCookieExpires: return cookie->Expires() ? Variant(*cookie->Expires()) : Variant();
      case kDomain: return cookie->Domain();
      case kPath: return cookie->Path();
      case kSecure: return oleaut::ToVariantBool(cookie->Secure());
      case kHttpOnly: return oleaut::ToVariantBool(cookie->HttpOnly());
      case kCookieHasKeys: return oleaut::ToVariantBool(cookie->HasKeys());
      default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  std::shared_ptr<HostResponse> response_;
  std::string name_;
};

// Response.Cookies: the cookies this response sets, by name.
class WriteCookies : public Described<> {
 public:
  explicit WriteCookies(std::shared_ptr<HostResponse> response)
      : Described(CollectionDescription()), response_(std::move(response)) {}

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (id == DISPID_VALUE && IsPut(kind)) {
      ExpectArguments(args, 2, 2);
      return WriteCookie(response_, oleaut::ToString(args[0])).Invoke(DISPID_VALUE, kind, args.subspan(1));
    }
    if (IsPut(kind)) oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    if (id == DISPID_VALUE) {
      ExpectArguments(args, 1, 1);
      return ObjectRef(std::make_shared<WriteCookie>(response_, oleaut::ToString(args[0])));
    }
    if (auto names = NamesMember(id, args, response_->Cookies(), std::mem_fn(&ResponseCookie::Name)))
      return *std::move(names);
    oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
  }

 private:
  std::shared_ptr<HostResponse> response_;
};

class ResponseObject : public Described<> {
 public:
  explicit ResponseObject(std::shared_ptr<HostResponse> response)
      : Described(ResponseDescription()), response_(std::move(response)) {}

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    HostResponse& r = *response_;
    if (IsPut(kind)) {
      // Response.Cookies(name) = value is the one put with an index.
      const std::size_t count = id == kResponseCookies ? 2 : 1;
      ExpectArguments(args, count, count);
      const Variant& value = args.back();
      switch (id) {
        case kContentType: r.put_ContentType(oleaut::ToString(value)); return {};
        case kCharset: r.SetCharset(oleaut::ToString(value)); return {};
        case kBuffer: r.put_Buffer(oleaut::ToBoolean(value)); return {};
        case kStatus: r.SetStatus(StatusOf(value)); return {};
        case kExpires: r.SetExpires(oleaut::ToLong(value)); return {};
        case kExpiresAbsolute: r.SetExpiresAbsolute(oleaut::ToDate(value)); return {};
        case kCacheControl: r.SetCacheControl(oleaut::ToString(value)); return {};
        case kPics: r.SetPics(oleaut::ToString(value)); return {};
        case kCodePage: r.SetCodePage(oleaut::ToLong(value), true); return {};
        case kLcid: r.SetLcid(oleaut::ToLong(value), true); return {};
        case kResponseCookies: return WriteCookies(response_).Invoke(DISPID_VALUE, kind, args);
        default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
      }
    }
    switch (id) {
      case kWrite:
        ExpectArguments(args, 1, 1);
        if (!args[0].IsNull()) r.Write(oleaut::ToString(args[0]));
        return {};
      case kBinaryWrite: ExpectArguments(args, 1, 1); r.BinaryWrite(args[0]); return {};
      case kAddHeader:
        ExpectArguments(args, 2, 2);
        r.AddHeader(oleaut::ToString(args[0]), oleaut::ToString(args[1]));
        return {};
      case kRedirect: ExpectArguments(args, 1, 1); r.Redirect(oleaut::ToString(args[0])); return {};
      case kClear: ExpectArguments(args, 0, 0); r.Clear(); return {};
      // The reply is sent whole when the page ends; there is nothing to push sooner.
      case kFlush: ExpectArguments(args, 0, 0); return {};
      case kEnd: ExpectArguments(args, 0, 0); r.End(); return {};
      // Response.PICS "label", as pages write it, sets the label.
      case kPics:
        ExpectArguments(args, 0, 1);
        if (args.empty()) return r.Pics();
        r.SetPics(oleaut::ToString(args[0]));
        return {};
    }
    if (id == kResponseCookies) {
      ExpectArguments(args, 0, 1);
      const auto cookies = std::make_shared<WriteCookies>(response_);
      return args.empty() ? Variant(ObjectRef(cookies)) : cookies->Invoke(DISPID_VALUE, kind, args);
    }
    ExpectArguments(args, 0, 0);
    switch (id) {
      case kContentType: return r.ContentType();
      case kCharset: return r.Charset();
      case kBuffer: return r.Buffer();
      case kStatus: return static_cast<oleaut::Long>(r.Status());
      case kExpires: return static_cast<oleaut::Long>(r.Expires());
      case kExpiresAbsolute: return r.ExpiresAbsolute().value_or(oleaut::Date{});
      case kCacheControl: return r.CacheControl();
      case kCodePage: return static_cast<oleaut::Long>(r.CodePage());
      case kLcid: return static_cast<oleaut::Long>(r.Lcid());
      case kIsClientConnected: return oleaut::VariantBool::True;
      default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  std::shared_ptr<HostResponse> response_;
};

// ---- Server ----

enum ServerMember : DISPID {
  kCreateObject = 1, kMapPath, kHTMLEncode, kURLEncode, kScriptTimeout, kGetLastError, kExecute, kTransfer,
};

const InterfaceDesc& ServerDescription() {
  static const InterfaceDesc description{
      "IServer", {}, 0, "IDispatch",
      {Method(kCreateObject, "CreateObject"), Method(kMapPath, "MapPath"), Method(kHTMLEncode, "HTMLEncode"),
       Method(kURLEncode, "URLEncode"), Get(kScriptTimeout, "ScriptTimeout"), Put(kScriptTimeout, "ScriptTimeout"),
       Method(kGetLastError, "GetLastError"), Method(kExecute, "Execute"), Method(kTransfer, "Transfer")}};
  return description;
}

// Pages that Server.Execute may nest, one inside the other: a page that
// executes itself stops here with an error rather than exhausting the stack.
constexpr int kMostExecuting = 16;

enum ErrorMember : DISPID {
  kASPCode = 1, kErrorNumber, kCategory, kFile, kLine, kColumn, kErrorSource, kDescription, kASPDescription,
};

const InterfaceDesc& ErrorDescription() {
  static const InterfaceDesc description{
      "IASPError", {}, 0, "IDispatch",
      {Get(kASPCode, "ASPCode"), Get(kErrorNumber, "Number"), Get(kCategory, "Category"), Get(kFile, "File"),
       Get(kLine, "Line"), Get(kColumn, "Column"), Get(kErrorSource, "Source"), Get(kDescription, "Description"),
       Get(kASPDescription, "ASPDescription")}};
  return description;
}

// The text of the line `line` (from 1) of the site's file `file`; empty
// when there is none.
std::string LineOf(const fs::path& root, const std::string& file, int line) {
  if (file.empty() || line < 1) return {};
  const auto path = FindSiteFile(root, (root / file).lexically_normal());
  if (!path) return {};
  const std::optional<std::string> text = ReadSiteFile(path->path);
  if (!text) return {};
  std::string_view rest = *text;
  for (int at = 1; at < line; ++at) {
    const auto end = rest.find('\n');
    if (end == std::string_view::npos) return {};
    rest.remove_prefix(end + 1);
  }
  rest = rest.substr(0, rest.find('\n'));
  if (rest.ends_with('\r')) rest.remove_suffix(1);
  return std::string(rest.substr(0, 1024));
}

// What failed, as an error page reads it from Server.GetLastError: the
// number as the HRESULT it stands for (a runtime error n is &H800A0000 + n),
// the error's source as the category, the site path of the file and the
// line, the text of that line as the source, and the description. What is
// not known, and everything outside an error page, is 0 or empty; the
// column is never known: -1.
class ErrorObject : public Described<> {
 public:
  ErrorObject(const PageFailure* failure, const fs::path& root) : Described(ErrorDescription()) {
    if (failure == nullptr) return;
    const std::int32_t number = failure->number.value_or(0);
    number_ = number > 0 && number <= 0xFFFF ? static_cast<oleaut::Long>(0x800A0000u | static_cast<std::uint32_t>(number))
                                            : number;
    category_ = failure->source;
    if (!failure->file.empty()) file_ = "/" + failure->file;
    line_ = failure->line;
    source_ = LineOf(root, failure->file, failure->line);
    description_ = failure->description;
  }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (IsPut(kind)) oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    ExpectArguments(args, 0, 0);
    switch (id) {
      case kASPCode:
      case kASPDescription: return std::string();
      case kErrorNumber: return number_;
      case kCategory: return category_;
      case kFile: return file_;
      case kLine: return static_cast<oleaut::Long>(line_);
      case kColumn: return oleaut::Long{-1};
      case kErrorSource: return source_;
      case kDescription: return description_;
      default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  oleaut::Long number_ = 0;
  std::string category_, file_, source_, description_;
  int line_ = 0;
};

// The failure of the page of `context` that `error` of its session's store
// makes.
PageFailure StoreFailure(const PageContext& context, const oleaut::AutomationError& error) {
  return {error.Source(), error.Number(), error.Description(), {}, 0, context.page.filename().string()};
}

// Ends the request of `context` with the failure of what ran inside it, if any.
void EndOnFailure(PageContext& context, std::optional<PageFailure> failure) {
  if (!failure) return;
  context.innerFailure = std::move(failure);
  context.response->End();
}

class ServerObject : public Described<> {
 public:
  explicit ServerObject(PageContext& context) : Described(ServerDescription()), context_(context) {}

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (IsPut(kind)) {
      if (id != kScriptTimeout) oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
      ExpectArguments(args, 1, 1);
      // Pages may ask for any time; the host's limit holds whatever they ask.
      if (oleaut::ToLong(args[0]) < 1) oleaut::RaiseRuntimeError(oleaut::kInvalidProcedureCall);
      return {};
    }
    const std::size_t count = id == kScriptTimeout || id == kGetLastError ? 0 : 1;
    ExpectArguments(args, count, count);
    switch (id) {
      case kCreateObject: return CreateObject(oleaut::ToString(args[0]));
      case kMapPath: return MapPath(oleaut::ToString(args[0]));
      case kHTMLEncode: return args[0].IsNull() ? Variant() : Variant(HtmlEncode(oleaut::ToString(args[0])));
      case kURLEncode: return args[0].IsNull() ? Variant() : Variant(UrlEncode(oleaut::ToString(args[0])));
      case kGetLastError: return ObjectRef(std::make_shared<ErrorObject>(context_.lastError, context_.root));
      case kExecute: Execute(oleaut::ToString(args[0])); return {};
      case kTransfer:
        Execute(oleaut::ToString(args[0]));
        context_.response->End();
        return {};
      case kScriptTimeout: {
        const auto left = context_.deadline - std::chrono::steady_clock::now();
        return static_cast<oleaut::Long>(std::max<long long>(
            0, std::chrono::ceil<std::chrono::seconds>(left).count()));
      }
      default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  Variant CreateObject(const std::string& progID) {
    auto object = CreatePageObject(progID);
    if (auto* control = dynamic_cast<complus::ObjectControl*>(object.get())) control->Activate();
    context_.created.push_back(object);
    return ObjectRef(std::move(object));
  }

  // The file that a path names: from the site's root when it starts with a
  // slash, else from the page's folder; in any letter case when the exact
  // name is missing; symbolic links resolved; an error when it lies outside
  // the site.
  Variant MapPath(const std::string& reference) {
    const auto path = SitePath(context_.root, context_.page.parent_path(), reference);
    if (!path) Refuse("Server.MapPath: '" + reference + "' leaves the site");
    if (const auto found = FindSiteFile(context_.root, *path)) return found->path.string();
    std::error_code error;
    const fs::path mapped = fs::weakly_canonical(*path, error);
    if (error || !IsInside(context_.root, mapped)) Refuse("Server.MapPath: '" + reference + "' leaves the site");
    return mapped.string();
  }

  // Runs the page that `reference` names (.asp or .ksp; from the root when
  // it starts with a slash, else from this page's folder; in any letter
  // case) inside this request, with the same Request, Response, Session and
  // Application and a script scope of its own; this page goes on after it.
  // A failure in it ends the request with that failure, as does
  // Response.End in it.
  void Execute(const std::string& reference) {
    const auto path = SitePath(context_.root, context_.page.parent_path(), reference);
    if (!path) Refuse("Server.Execute: '" + reference + "' leaves the site");
    const auto found = FindSiteFile(context_.root, *path);
    struct stat status {};
    if (!found || !IsPageFile(found->path) || ::stat(found->path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
      Refuse("Server.Execute: no page '" + reference + "' in the site");
    if (context_.executing >= kMostExecuting)
      Refuse("Server.Execute: pages nest more than " + std::to_string(kMostExecuting) + " deep");
    const struct Restore {
      PageContext& context;
      fs::path page;
      bool sessionEnabled;
      ~Restore() {
        context.page = std::move(page);
        context.sessionEnabled = sessionEnabled;
        --context.executing;
      }
    } restore{context_, std::exchange(context_.page, found->path), context_.sessionEnabled};
    ++context_.executing;
    EndOnFailure(context_, RunPageFile(context_, MakeIntrinsics(context_), status));
  }

  PageContext& context_;
};

// ---- Session and Application ----

enum ValuesMember : DISPID {
  kValuesCount = 1, kRemove, kRemoveAll, kContents, kSessionID, kTimeout, kAbandon, kLock, kUnlock,
  kSessionCodePage, kSessionLcid,
  kFirstValue = 1000,
};

// Values by name: Object(name), Object.Contents(name), and, for a name that
// is no member, Object.name, so that a language without indexed properties
// reaches them too.
class ValuesObject : public Described<> {
 public:
  using Described<>::Described;

  std::optional<DISPID> GetIDOfName(std::string_view name) const override {
    if (const auto member = Described<>::GetIDOfName(name)) return member;
    for (std::size_t i = 0; i < names_.size(); ++i)
      if (SameName(names_[i], name)) return static_cast<DISPID>(kFirstValue + i);
    names_.emplace_back(name);
    return static_cast<DISPID>(kFirstValue + names_.size() - 1);
  }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    if (id >= kFirstValue && static_cast<std::size_t>(id - kFirstValue) < names_.size()) {
      const std::string& name = names_[static_cast<std::size_t>(id - kFirstValue)];
      if (IsPut(kind)) {
        ExpectArguments(args, 1, 1);
        Write().Set(name, args[0]);
        return {};
      }
      ExpectArguments(args, 0, 0);
      return Values().Get(name);
    }
    switch (id) {
      case DISPID_VALUE:
      case kContents:
        if (IsPut(kind)) {
          ExpectArguments(args, 2, 2);
          Write().Set(oleaut::ToString(args[0]), args[1]);
          return {};
        }
        if (args.empty()) return ObjectRef(Self());
        ExpectArguments(args, 1, 1);
        return Values().Get(oleaut::ToString(args[0]));
      case kValuesCount: ExpectArguments(args, 0, 0); return static_cast<oleaut::Long>(Values().Count());
      case kRemove: ExpectArguments(args, 1, 1); Write().Remove(oleaut::ToString(args[0])); return {};
      case kRemoveAll: ExpectArguments(args, 0, 0); Write().Clear(); return {};
      case DISPID_NEWENUM: return Names(Values().Names());
      default: return InvokeOwn(id, kind, args);
    }
  }

 protected:
  virtual SharedValues& Values() = 0;
  // The values, for a change.
  virtual SharedValues& Write() { return Values(); }
  virtual std::shared_ptr<oleaut::IDispatch> Self() = 0;
  virtual Variant InvokeOwn(DISPID id, std::uint16_t kind, std::span<const Variant> args) = 0;

 private:
  mutable std::vector<std::string> names_;
};

const InterfaceDesc& SessionDescription() {
  static const InterfaceDesc description{
      "ISessionObject", {}, 0, "IDispatch",
      {Get(DISPID_VALUE, "Value"), Put(DISPID_VALUE, "Value"), Get(kValuesCount, "Count"),
       Method(kRemove, "Remove"), Method(kRemoveAll, "RemoveAll"), Get(kContents, "Contents"),
       Get(kSessionID, "SessionID"), Get(kTimeout, "Timeout"), Put(kTimeout, "Timeout"),
       Method(kAbandon, "Abandon"), Get(kSessionCodePage, "CodePage"), Put(kSessionCodePage, "CodePage"),
       Get(kSessionLcid, "LCID"), Put(kSessionLcid, "LCID")}};
  return description;
}

class SessionObject : public ValuesObject, public std::enable_shared_from_this<SessionObject> {
 public:
  explicit SessionObject(PageContext& context) : ValuesObject(SessionDescription()), context_(context) {}

  // Any use of Session is a use of the visitor's session, which the page
  // then holds until it ends.
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    Session();
    return ValuesObject::Invoke(id, kind, args);
  }

 protected:
  SharedValues& Values() override { return Session().Values(); }
  std::shared_ptr<oleaut::IDispatch> Self() override { return shared_from_this(); }

  Variant InvokeOwn(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    SessionState& session = Session();
    HostResponse& response = *context_.response;
    switch (id) {
      case kSessionID: ExpectArguments(args, 0, 0); return session.Id();
      case kTimeout:
        ExpectArguments(args, IsPut(kind) ? 1 : 0, IsPut(kind) ? 1 : 0);
        if (!IsPut(kind)) return static_cast<oleaut::Long>(session.TimeoutMinutes());
        session.SetTimeoutMinutes(oleaut::ToLong(args[0]));
        return {};
      case kAbandon: ExpectArguments(args, 0, 0); session.Abandon(); return {};
      // The session keeps a code page or locale for the visitor's later
      // pages; this page takes it at once, unless its Response has one.
      case kSessionCodePage:
        ExpectArguments(args, IsPut(kind) ? 1 : 0, IsPut(kind) ? 1 : 0);
        if (!IsPut(kind)) return static_cast<oleaut::Long>(session.CodePage() ? session.CodePage() : response.CodePage());
        response.SetCodePage(oleaut::ToLong(args[0]), false);
        session.SetCodePage(oleaut::ToLong(args[0]));
        return {};
      case kSessionLcid:
        ExpectArguments(args, IsPut(kind) ? 1 : 0, IsPut(kind) ? 1 : 0);
        if (!IsPut(kind)) return static_cast<oleaut::Long>(session.Lcid() ? session.Lcid() : response.Lcid());
        response.SetLcid(oleaut::ToLong(args[0]), false);
        session.SetLcid(oleaut::ToLong(args[0]));
        return {};
      default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  // The visitor's session, found by its cookie once the pages before that
  // hold it have ended, or made now with a cookie sent back.
  SessionState& Session() {
    if (!context_.session) {
      if (!context_.sessionEnabled)
        throw oleaut::AutomationError(oleaut::kObjectRequired, "Kelvane",
                                      "Object required: 'Session': the page has EnableSessionState=False");
      bool made = false;
      try {
        for (const auto& [name, value] : RequestCookies(context_.request))
          if (name == SiteState::kSessionCookie &&
              (context_.session = context_.sessions.EnterSession(value, &context_, context_.deadline)))
            break;
        if (!context_.session) {
          context_.session = context_.sessions.NewSession(context_.request.client, &context_, context_.deadline);
          made = true;
        }
      } catch (const oleaut::AutomationError& error) {
        // A store that cannot be reached fails the page, even one that goes
        // on after errors: nothing it sets in its session could be kept.
        if (!context_.sessions.Status().reachable) EndOnFailure(context_, StoreFailure(context_, error));
        throw;
      }
      if (made) {
        context_.response->AddHeader("Set-Cookie", std::string(SiteState::kSessionCookie) + "=" +
                                                       context_.session->Id() + "; Path=/; HttpOnly; SameSite=Lax" +
                                                       (context_.request.secure ? "; Secure" : ""));
        EndOnFailure(context_, RunSiteEvent(context_, MakeIntrinsics(context_), SiteEvent::SessionOnStart));
      }
      if (const int codePage = context_.session->CodePage()) context_.response->SetCodePage(codePage, false);
      if (const int lcid = context_.session->Lcid()) context_.response->SetLcid(lcid, false);
    }
    return *context_.session;
  }

  PageContext& context_;
};

const InterfaceDesc& ApplicationDescription() {
  static const InterfaceDesc description{
      "IApplicationObject", {}, 0, "IDispatch",
      {Get(DISPID_VALUE, "Value"), Put(DISPID_VALUE, "Value"), Get(kValuesCount, "Count"),
       Method(kRemove, "Remove"), Method(kRemoveAll, "RemoveAll"), Get(kContents, "Contents"),
       Method(kLock, "Lock"), Method(kUnlock, "Unlock")}};
  return description;
}

class ApplicationObject : public ValuesObject, public std::enable_shared_from_this<ApplicationObject> {
 public:
  explicit ApplicationObject(PageContext& context) : ValuesObject(ApplicationDescription()), context_(context) {}

 protected:
  SharedValues& Values() override { return context_.site.Application(); }
  // A page writes once no other page holds the lock.
  SharedValues& Write() override {
    if (!context_.site.WaitToWrite(&context_, context_.deadline)) TimedOut();
    return Values();
  }
  std::shared_ptr<oleaut::IDispatch> Self() override { return shared_from_this(); }

  Variant InvokeOwn(DISPID id, std::uint16_t, std::span<const Variant> args) override {
    ExpectArguments(args, 0, 0);
    switch (id) {
      case kLock:
        if (!context_.site.Lock(&context_, context_.deadline)) TimedOut();
        return {};
      case kUnlock: context_.site.Unlock(&context_); return {};
      default: oleaut::RaiseRuntimeError(oleaut::kMemberNotFound);
    }
  }

 private:
  [[noreturn]] static void TimedOut() { Refuse("the page ran past its time limit waiting for Application.Lock"); }

  PageContext& context_;
};

}  // namespace

Intrinsics MakeIntrinsics(PageContext& context) {
  oleaut::SetCurrentNumberFormat({});
  return {std::make_shared<RequestObject>(context), std::make_shared<ResponseObject>(context.response),
          std::make_shared<ServerObject>(context), std::make_shared<SessionObject>(context),
          std::make_shared<ApplicationObject>(context)};
}

std::optional<PageFailure> SaveSession(PageContext& context) {
  if (!context.session) return std::nullopt;
  try {
    context.sessions.SaveSession(*context.session, &context);
    return std::nullopt;
  } catch (const oleaut::AutomationError& error) {
    return StoreFailure(context, error);
  }
}

void EndIntrinsics(PageContext& context) noexcept {
  oleaut::SetCurrentNumberFormat({});
  if (context.session) context.sessions.LeaveSession(*context.session, &context);
  context.site.Unlock(&context);
}

}  // namespace kelvane::host
