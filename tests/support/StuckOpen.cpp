// Preloaded into `kelvane serve` by the kelvane-stop test: an open() of a
// file whose name holds "stuck-in-open" never returns, as a call into a hung
// file system or driver would not. It gives the test a worker that no limit
// of the page engine can stop.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstring>

extern "C" int open(const char* path, int flags, ...) {
  if (std::strstr(path, "stuck-in-open") != nullptr)
    for (;;) ::pause();
  // The mode is there only when the flags create a file.
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
  }
  using Open = int (*)(const char*, int, ...);
  static const auto next = reinterpret_cast<Open>(::dlsym(RTLD_NEXT, "open"));
  return next(path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));
