#include "host/http/AccessLog.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>

namespace kelvane::host {
namespace {

using namespace std::chrono_literals;

TEST(AddressSet, HoldsAddressesAndNetworksOfBothFamilies) {
  const auto set = AddressSet::Parse("10.0.0.0/8, 192.168.1.7 fd00::/8,\t::1 172.16.0.0/12");
  ASSERT_TRUE(set);
  const std::pair<const char*, bool> cases[] = {
      {"10.1.2.3", true},      {"11.0.0.1", false},       {"192.168.1.7", true},
      {"192.168.1.8", false},  {"172.31.255.255", true},  {"172.32.0.0", false},
      {"fd12::1", true},       {"fe80::1", false},        {"::1", true},
      {"::2", false},          {"::ffff:10.9.9.9", true}, {"[::1]", false},
      {"10.0.0.1:80", false},  {"", false},               {"localhost", false},
  };
  for (const auto& [address, inside] : cases) EXPECT_EQ(set->Contains(address), inside) << address;

  for (const char* bad : {"10.0.0.0/33", "::/129", "10.0.0.0/", "10.0.0.0/x", "host", "10.0.0.0/8/8"})
    EXPECT_FALSE(AddressSet::Parse(bad)) << bad;
  EXPECT_FALSE(AddressSet::Parse("")->Contains("127.0.0.1"));
  EXPECT_TRUE(AddressSet::Parse("0.0.0.0/0")->Contains("8.8.8.8"));
  EXPECT_TRUE(AddressSet::Loopback().Contains("127.0.0.2"));
  EXPECT_FALSE(AddressSet::Loopback().Contains("128.0.0.1"));
}

TEST(ClientAddress, BelievesForwardingOnlyFromTrustedProxiesFromTheRight) {
  const AddressSet proxies = *AddressSet::Parse("10.0.0.0/8 ::1");
  struct Case {
    const char* peer;
    const char* forwardedFor;
    const char* client;
  };
  const Case cases[] = {
      {"203.0.113.5", "198.51.100.1", "203.0.113.5"},         // not a proxy: not believed
      {"10.0.0.2", "", "10.0.0.2"},                           // a proxy that says nothing
      {"10.0.0.2", "198.51.100.1", "198.51.100.1"},
      {"10.0.0.2", "1.1.1.1, 198.51.100.1", "198.51.100.1"},  // the left one is the client's word
      {"10.0.0.2", "198.51.100.1,10.0.0.3", "198.51.100.1"},  // through two proxies
      {"10.0.0.2", "10.0.0.4, 10.0.0.3", "10.0.0.4"},         // all proxies: the leftmost
      {"10.0.0.2", "1.1.1.1, garbage, 10.0.0.3", "10.0.0.3"}, // the last believed
      {"10.0.0.2", "1.1.1.1, ", "10.0.0.2"},
      {"::1", "2001:db8::7", "2001:db8::7"},
      {"10.0.0.2", "2001:db8::7:80, 1.2.3.4:80", "10.0.0.2"},
  };
  for (const auto& [peer, forwardedFor, client] : cases)
    EXPECT_EQ(ClientAddress(peer, forwardedFor, proxies), client) << peer << " " << forwardedFor;
}

TEST(AccessLine, PlainAndCombinedFormats) {
  std::tm when{};
  when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 9, when.tm_hour = 3, when.tm_min = 4,
  when.tm_sec = 5, when.tm_isdst = -1;
  const auto received = std::chrono::system_clock::from_time_t(std::mktime(&when));
  const AccessRecord page{"GET", "/chart.ksp?user=x", "HTTP/1.1", 200, 5123, 812us, received,
                          "198.51.100.1", "http://example.com/", "Mozilla/5.0 (X11)"};
  AccessRecord odd = page;
  odd.target = "/a\"b\\c\x01\xc3\xa9";
  odd.bytes = 0;
  odd.referer = "";
  odd.userAgent = "say \"hi\"";
  odd.client = "";
  const std::tuple<LogFormat, AccessRecord, std::string> cases[] = {
      {LogFormat::Plain, page, "^GET /chart\\.ksp 200 5123 812us$"},
      {LogFormat::Plain, odd, "^GET /a%22b%5Cc%01%C3%A9 200 0 812us$"},
      {LogFormat::Combined, page,
       R"re(^198\.51\.100\.1 - - \[09/Dec/2026:03:04:05 [+-]\d{4}\] "GET /chart\.ksp HTTP/1\.1" 200 5123 "http://example\.com/" "Mozilla/5\.0 \(X11\)"$)re"},
      {LogFormat::Combined, odd,
       R"(^- - - \[09/Dec/2026:03:04:05 [+-]\d{4}\] "GET /a%22b%5Cc%01%C3%A9 HTTP/1\.1" 200 - "-" "say %22hi%22"$)"},
  };
  for (const auto& [format, record, pattern] : cases) {
    const std::string line = AccessLine(format, record);
    EXPECT_TRUE(std::regex_match(line, std::regex(pattern))) << line;
  }
}

}  // namespace
}  // namespace kelvane::host
