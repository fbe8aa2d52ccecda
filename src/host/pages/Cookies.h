#pragma once
// The cookies a response sets: a value, or keys each with a value (a
// "dictionary" cookie, sent as "name=k1=v1&k2=v2"), and the attributes
// expires, domain, path, secure and HttpOnly.

#include <optional>
#include <string>
#include <string_view>

#include "host/pages/PageRequest.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host {

class ResponseCookie {
 public:
  explicit ResponseCookie(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  // The value, or the keys as one text ("k1=v1&k2=v2").
  std::string Text() const;
  // The value of `key`; empty when there is none.
  std::string Key(std::string_view key) const;
  bool HasKeys() const { return !keys_.empty(); }

  // A value drops the keys, and a key the value: a cookie has one or the other.
  void SetValue(std::string value);
  void SetKey(std::string key, std::string value);
  // `expires` is a local date, sent as the HTTP date it stands for.
  void SetExpires(oleaut::Date expires) { expires_ = expires; }
  // A domain or path with a control character or ';' raises 5.
  void SetDomain(std::string domain);
  void SetPath(std::string path);
  void SetSecure(bool secure) { secure_ = secure; }
  void SetHttpOnly(bool httpOnly) { httpOnly_ = httpOnly; }

  std::optional<oleaut::Date> Expires() const { return expires_; }
  const std::string& Domain() const { return domain_; }
  const std::string& Path() const { return path_; }
  bool Secure() const { return secure_; }
  bool HttpOnly() const { return httpOnly_; }

  // The value of the Set-Cookie header: names, keys and values in
  // `codePage`, URL-encoded, then the attributes that are set.
  std::string Header(int codePage) const;

 private:
  std::string name_;
  std::string value_;
  Fields keys_;
  std::optional<oleaut::Date> expires_;
  std::string domain_;
  std::string path_ = "/";
  bool secure_ = false;
  bool httpOnly_ = false;
};

// A local date as an HTTP date: "Wed, 09 Dec 2026 13:05:00 GMT".
std::string HttpDate(oleaut::Date local);

}  // namespace kelvane::host
