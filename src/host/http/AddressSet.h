#pragma once
// A set of IP addresses and networks, as options name them: who may reach
// the server's own endpoints, which peers are proxies whose forwarded
// client address is believed. An IPv4 address mapped into IPv6
// (::ffff:127.0.0.1) is the IPv4 address.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kelvane::host {

class AddressSet {
 public:
  // Nobody.
  AddressSet() = default;

  // Addresses ("10.0.0.7", "::1") and networks ("10.0.0.0/8", "fd00::/8"),
  // separated by commas or blanks; empty when an entry is neither, or a
  // network's prefix is longer than its address. An empty list is nobody.
  static std::optional<AddressSet> Parse(std::string_view list);

  // 127.0.0.0/8 and ::1.
  static AddressSet Loopback();

  // True for an IP literal, without brackets, in the set; false for
  // anything else.
  bool Contains(std::string_view address) const;

  // True for an IPv4 or IPv6 literal without brackets.
  static bool IsAddress(std::string_view text);

 private:
  struct Network {
    std::array<std::uint8_t, 16> bytes{};
    bool v6 = false;
    unsigned prefix = 0;  // leading bits that must match
  };
  std::vector<Network> networks_;
};

}  // namespace kelvane::host
