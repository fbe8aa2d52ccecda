#pragma once
// Sets the process's time zone for a scope, for tests of local times.

#include <cstdlib>
#include <ctime>
#include <string>

namespace kelvane::test {

class InTimeZone {
 public:
  // `zone` is a POSIX TZ rule, such as "UTC0" or "EST5EDT,M3.2.0,M11.1.0".
  explicit InTimeZone(const char* zone) {
    if (const char* before = std::getenv("TZ")) before_ = before;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~InTimeZone() {
    if (before_.empty()) unsetenv("TZ");
    else setenv("TZ", before_.c_str(), 1);
    tzset();
  }
  InTimeZone(const InTimeZone&) = delete;
  InTimeZone& operator=(const InTimeZone&) = delete;

 private:
  std::string before_;
};

}  // namespace kelvane::test
