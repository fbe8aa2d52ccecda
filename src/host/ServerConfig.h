#pragma once
// What `kelvane serve` is told to do, from a config file and the command
// line. Both name an option the same way ("port" in the file, "--port" on
// the command line), and one table reads every value. The file holds one
// `name = value` a line; blank lines and comments (from a '#' at the start
// of a line or after a blank) are skipped.

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/http/HttpServer.h"
#include "host/pages/PageEngine.h"
#include "host/pages/SiteState.h"
#include "platform/picture/PictureCache.h"

namespace kelvane::host {

struct ServerConfig {
  std::filesystem::path root = ".";    // the site's folder
  std::optional<std::string> workdir;  // none: a private folder made for the run
  std::optional<std::string> logFile;  // none: the access log goes to stderr
  // What decoded pictures the process keeps may hold; 0 keeps none.
  std::size_t pictureCacheBytes = picture::kDefaultPictureCacheBytes;
  ServerOptions server;
  PageLimits limits;
  SessionLimits sessions;
  std::optional<StoreAddress> sessionStore;  // none: each process keeps its sessions
};

// An option that cannot be followed: its message says what is wrong with
// the value, or that the name is not known.
struct BadSetting : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Sets the option `name` (without dashes) of `config` from `value`. Throws
// BadSetting for a name that is not an option or a value it does not take,
// leaving `config` as it was.
void ApplySetting(ServerConfig& config, std::string_view name, std::string_view value);

// Sets the options the file `path` names, in order. Throws BadSetting, with
// "PATH:LINE: " before the reason, for a line that is not `name = value`, a
// name given twice, or what ApplySetting refuses; and with "PATH: " for a
// file that cannot be read.
void ApplyConfigFile(ServerConfig& config, const std::filesystem::path& path);

}  // namespace kelvane::host
