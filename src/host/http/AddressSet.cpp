#include "host/http/AddressSet.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <string>

#include "host/http/OptionList.h"

namespace kelvane::host {

namespace {

struct Parsed {
  std::array<std::uint8_t, 16> bytes{};
  bool v6 = false;
};

std::optional<Parsed> ParseAddress(std::string_view text) {
  if (text.size() >= INET6_ADDRSTRLEN) return std::nullopt;
  const std::string literal(text);
  Parsed parsed;
  if (inet_pton(AF_INET, literal.c_str(), parsed.bytes.data()) == 1) return parsed;
  if (inet_pton(AF_INET6, literal.c_str(), parsed.bytes.data()) != 1) return std::nullopt;
  constexpr std::array<std::uint8_t, 12> kMapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (std::equal(kMapped.begin(), kMapped.end(), parsed.bytes.begin())) {
    std::copy_n(parsed.bytes.begin() + 12, 4, parsed.bytes.begin());
    std::fill(parsed.bytes.begin() + 4, parsed.bytes.end(), 0);
  } else {
    parsed.v6 = true;
  }
  return parsed;
}

}  // namespace

std::optional<AddressSet> AddressSet::Parse(std::string_view list) {
  AddressSet set;
  for (const std::string_view entry : ListEntries(list)) {
    const std::size_t slash = entry.find('/');
    const auto address = ParseAddress(entry.substr(0, slash));
    if (!address) return std::nullopt;
    const unsigned most = address->v6 ? 128 : 32;
    unsigned prefix = most;
    if (slash != std::string_view::npos) {
      const std::string_view digits = entry.substr(slash + 1);
      const char* stop = digits.data() + digits.size();
      const auto [ended, error] = std::from_chars(digits.data(), stop, prefix);
      if (digits.empty() || error != std::errc() || ended != stop || prefix > most)
        return std::nullopt;
    }
    set.networks_.push_back({address->bytes, address->v6, prefix});
  }
  return set;
}

AddressSet AddressSet::Loopback() { return *Parse("127.0.0.0/8 ::1"); }

bool AddressSet::Contains(std::string_view address) const {
  const auto parsed = ParseAddress(address);
  if (!parsed) return false;
  return std::ranges::any_of(networks_, [&](const Network& network) {
    if (network.v6 != parsed->v6) return false;
    const unsigned whole = network.prefix / 8;
    const unsigned rest = network.prefix % 8;
    if (!std::equal(network.bytes.begin(), network.bytes.begin() + whole, parsed->bytes.begin()))
      return false;
    const auto mask = static_cast<std::uint8_t>(0xff << (8 - rest));
    return rest == 0 || ((network.bytes[whole] ^ parsed->bytes[whole]) & mask) == 0;
  });
}

bool AddressSet::IsAddress(std::string_view text) { return ParseAddress(text).has_value(); }

}  // namespace kelvane::host
