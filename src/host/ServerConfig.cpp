#include "host/ServerConfig.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <span>
#include <system_error>

#include "host/pages/FileReach.h"

namespace kelvane::host {

namespace {

// More threads than this is a typing error, not a wish.
constexpr std::uint64_t kMostThreads = 1024;
constexpr std::uint64_t kMostConnections = 1'000'000;

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// All of `text` as a decimal number; empty when it is not one or overflows.
std::optional<std::uint64_t> Decimal(std::string_view text) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::uint64_t WholeNumber(std::string_view value, std::uint64_t least, std::uint64_t most) {
  const auto number = Decimal(value);
  if (!number || *number < least || *number > most)
    throw BadSetting("takes a whole number from " + std::to_string(least) + " to " +
                     std::to_string(most) + ", not '" + std::string(value) + "'");
  return *number;
}

// A number with a unit from `units`, a name and how many of the base unit
// it is; a bare number is in units of `bare`. Between `least` and `most`.
std::uint64_t Measure(std::string_view value, std::span<const std::pair<std::string_view, std::uint64_t>> units,
                      std::uint64_t bare, std::uint64_t least, std::uint64_t most,
                      std::string_view example) {
  const auto digits = value.find_first_not_of("0123456789");
  const std::string_view unit = digits == std::string_view::npos ? "" : value.substr(digits);
  std::uint64_t scale = unit.empty() ? bare : 0;
  for (const auto& [name, size] : units)
    if (unit == name) scale = size;
  const auto number = Decimal(value.substr(0, digits));
  if (!number || scale == 0 || *number > most / scale || *number * scale < least)
    throw BadSetting("takes " + std::string(example) + ", not '" + std::string(value) + "'");
  return *number * scale;
}

std::chrono::milliseconds Time(std::string_view value) {
  constexpr std::pair<std::string_view, std::uint64_t> kUnits[] = {{"ms", 1}, {"s", 1000}};
  return std::chrono::milliseconds(
      Measure(value, kUnits, 1000, 1, 3'600'000, "a time from 1ms to 3600s, such as 10s or 500ms"));
}

std::size_t Size(std::string_view value, std::uint64_t least) {
  constexpr std::pair<std::string_view, std::uint64_t> kUnits[] = {
      {"K", 1 << 10}, {"M", 1 << 20}, {"G", 1 << 30}};
  return static_cast<std::size_t>(Measure(value, kUnits, 1, least, std::uint64_t{64} << 30,
                                          "a size in bytes, or with K, M or G, such as 256M"));
}

std::string Path(std::string_view value) {
  if (value.empty()) throw BadSetting("takes a path, not ''");
  return std::string(value);
}

// An IPv4 or IPv6 literal, the latter with or without brackets.
std::string Address(std::string_view value) {
  std::string bare(value.size() > 2 && value.front() == '[' && value.back() == ']'
                       ? value.substr(1, value.size() - 2)
                       : value);
  std::array<unsigned char, sizeof(in6_addr)> bytes{};
  if (inet_pton(AF_INET, bare.c_str(), bytes.data()) != 1 &&
      inet_pton(AF_INET6, bare.c_str(), bytes.data()) != 1)
    throw BadSetting("takes an IP address such as 127.0.0.1 or ::1, not '" + std::string(value) +
                     "'");
  return std::string(value);
}

// Addresses and networks, separated by commas or blanks.
AddressSet Addresses(std::string_view value) {
  auto set = AddressSet::Parse(value);
  if (!set)
    throw BadSetting("takes addresses or networks such as 10.0.0.7, ::1 or 10.0.0.0/8, not '" +
                     std::string(value) + "'");
  return *std::move(set);
}

HiddenNames Hidden(std::string_view value) {
  auto hidden = HiddenNames::Parse(value);
  if (!hidden)
    throw BadSetting("takes names and endings such as web.config or *.inc, not '" + std::string(value) + "'");
  return *std::move(hidden);
}

PageErrors Shown(std::string_view value) {
  if (value == "local") return PageErrors::Local;
  if (value == "all") return PageErrors::All;
  if (value == "none") return PageErrors::None;
  throw BadSetting("takes local, all or none, not '" + std::string(value) + "'");
}

// The site path of a page, as a request would name it.
std::string SitePage(std::string_view value) {
  const auto path = SitePath(value);
  if (!path || !IsPageFile(*path))
    throw BadSetting("takes the path of a page in the site, such as /errors/500.asp, not '" + std::string(value) +
                     "'");
  return *path;
}

std::vector<std::filesystem::path> Folders(std::string_view value) {
  try {
    return DataFolders(value);
  } catch (const std::invalid_argument&) {
    throw BadSetting("takes absolute paths separated by commas, such as /var/lib/kelvane/data, not '" +
                     std::string(value) + "'");
  }
}

LogFormat Format(std::string_view value) {
  if (value == "plain") return LogFormat::Plain;
  if (value == "combined") return LogFormat::Combined;
  throw BadSetting("takes plain or combined, not '" + std::string(value) + "'");
}

using Setter = std::function<void(ServerConfig&, std::string_view)>;

const std::map<std::string_view, Setter>& Setters() {
  static const std::map<std::string_view, Setter> setters{
      {"listen", [](ServerConfig& c, std::string_view v) { c.server.listen = Address(v); }},
      {"port",
       [](ServerConfig& c, std::string_view v) {
         c.server.port = static_cast<std::uint16_t>(WholeNumber(v, 0, 65535));
       }},
      {"threads",
       [](ServerConfig& c, std::string_view v) {
         c.server.threads = static_cast<unsigned>(WholeNumber(v, 0, kMostThreads));
       }},
      {"workers",
       [](ServerConfig& c, std::string_view v) {
         c.server.workers = static_cast<unsigned>(WholeNumber(v, 0, kMostThreads));
       }},
      {"max-stuck-workers",
       [](ServerConfig& c, std::string_view v) {
         c.server.maxStuckWorkers = static_cast<unsigned>(WholeNumber(v, 0, kMostThreads));
       }},
      {"workdir", [](ServerConfig& c, std::string_view v) { c.workdir = Path(v); }},
      {"root", [](ServerConfig& c, std::string_view v) { c.root = Path(v); }},
      {"page-time", [](ServerConfig& c, std::string_view v) { c.limits.time = Time(v); }},
      {"data-folders", [](ServerConfig& c, std::string_view v) { c.limits.dataFolders = Folders(v); }},
      {"page-memory",
       [](ServerConfig& c, std::string_view v) { c.limits.memoryBytes = Size(v, 1 << 20); }},
      {"session-memory",
       [](ServerConfig& c, std::string_view v) { c.sessions.memoryBytes = Size(v, 1 << 20); }},
      {"session-store",
       [](ServerConfig& c, std::string_view v) {
         try {
           c.sessionStore = ParseStoreAddress(v);
         } catch (const std::invalid_argument& error) {
           throw BadSetting(std::string(error.what()) + ", not '" + std::string(v) + "'");
         }
       }},
      {"sessions-per-address",
       [](ServerConfig& c, std::string_view v) {
         c.sessions.perAddress = static_cast<std::size_t>(WholeNumber(v, 0, SiteState::kMostSessions));
       }},
      {"max-body", [](ServerConfig& c, std::string_view v) { c.server.maxBody = Size(v, 0); }},
      {"picture-cache", [](ServerConfig& c, std::string_view v) { c.pictureCacheBytes = Size(v, 0); }},
      {"max-connections",
       [](ServerConfig& c, std::string_view v) {
         c.server.maxConnections = static_cast<unsigned>(WholeNumber(v, 1, kMostConnections));
       }},
      {"max-connections-per-address",
       [](ServerConfig& c, std::string_view v) {
         c.server.maxConnectionsPerAddress =
             static_cast<unsigned>(WholeNumber(v, 0, kMostConnections));
       }},
      {"log-format", [](ServerConfig& c, std::string_view v) { c.server.logFormat = Format(v); }},
      {"log-file", [](ServerConfig& c, std::string_view v) { c.logFile = Path(v); }},
      {"trusted-proxies",
       [](ServerConfig& c, std::string_view v) { c.server.trustedProxies = Addresses(v); }},
      {"endpoints-from",
       [](ServerConfig& c, std::string_view v) { c.server.endpointClients = Addresses(v); }},
      {"hidden-extensions",
       [](ServerConfig& c, std::string_view v) { c.server.hiddenNames = Hidden(v); }},
      {"page-errors", [](ServerConfig& c, std::string_view v) { c.server.pageErrors = Shown(v); }},
      {"error-page-500", [](ServerConfig& c, std::string_view v) { c.server.errorPage = SitePage(v); }},
      {"queue-depth",
       [](ServerConfig& c, std::string_view v) {
         c.server.queueDepth = static_cast<std::size_t>(WholeNumber(v, 1, kMostConnections));
       }},
  };
  return setters;
}

// The line without its comment, if any.
std::string_view Uncommented(std::string_view line) {
  for (std::size_t i = 0; i < line.size(); ++i)
    if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t'))
      return line.substr(0, i);
  return line;
}

}  // namespace

void ApplySetting(ServerConfig& config, std::string_view name, std::string_view value) {
  const auto& setters = Setters();
  const auto found = setters.find(name);
  if (found == setters.end()) throw BadSetting("is not an option");
  found->second(config, value);
}

void ApplyConfigFile(ServerConfig& config, const std::filesystem::path& path) {
  std::ifstream file(path);
  if (!file)
    throw BadSetting(path.string() + ": cannot be read: " +
                     std::error_code(errno, std::generic_category()).message());
  std::map<std::string, int, std::less<>> seen;
  std::string text;
  for (int number = 1; std::getline(file, text); ++number) {
    const std::string where = path.string() + ":" + std::to_string(number) + ": ";
    const std::string_view line = Trimmed(Uncommented(text));
    if (line.empty()) continue;
    const auto equals = line.find('=');
    const std::string_view name = Trimmed(line.substr(0, std::min(equals, line.size())));
    if (equals == std::string_view::npos || name.empty())
      throw BadSetting(where + "expected 'name = value', not '" + std::string(line) + "'");
    if (const auto earlier = seen.find(name); earlier != seen.end())
      throw BadSetting(where + std::string(name) + " is set already on line " +
                       std::to_string(earlier->second));
    seen.emplace(name, number);
    try {
      ApplySetting(config, name, Trimmed(line.substr(equals + 1)));
    } catch (const BadSetting& e) {
      throw BadSetting(where + std::string(name) + " " + e.what());
    }
  }
  if (file.bad()) throw BadSetting(path.string() + ": cannot be read");
}

}  // namespace kelvane::host
