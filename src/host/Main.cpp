// The kelvane command:
//   kelvane serve [ROOT] [--listen ADDR] [--port N] [--threads N] [--workdir DIR]
//   kelvane run PAGE [--query QS] [--workdir DIR] [-o FILE]
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "host/HttpServer.h"
#include "host/PageEngine.h"

namespace {

namespace fs = std::filesystem;
using namespace kelvane::host;

// SIGINT and SIGTERM write a byte here, from whichever thread they reach;
// the main thread waits to read it.
int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

void WaitForStopSignal() {
  char byte = 0;
  while (::read(stopPipe[0], &byte, 1) < 0 && errno == EINTR) {
  }
}

int Usage() {
  std::cerr << "usage:\n"
               "  kelvane serve [ROOT] [--listen ADDR] [--port N] [--threads N] [--workdir DIR]\n"
               "  kelvane run PAGE [--query QS] [--workdir DIR] [-o FILE]\n";
  return 2;
}

// The arguments after the command: the options given, and what stands alone.
struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;

  std::optional<std::string> Option(std::string_view name) const {
    for (const auto& [key, value] : options)
      if (key == name) return value;
    return std::nullopt;
  }
};

std::optional<Arguments> Parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("-", 0) == 0) {
      if (i + 1 >= argc) return std::nullopt;
      arguments.options.emplace_back(word, argv[++i]);
    } else {
      arguments.positional.push_back(word);
    }
  }
  return arguments;
}

// The working directory, where deliveries put their temporary files: the one
// given, or else a private folder made now and removed when `this` goes.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::optional<std::string>& given) {
    if (given) {
      fs::current_path(*given);
      return;
    }
    std::string pattern = (fs::temp_directory_path() / "kelvane-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw fs::filesystem_error("mkdtemp", std::error_code(errno, std::generic_category()));
    made_ = pattern;
    fs::current_path(made_);
  }
  ~WorkingDirectory() {
    if (!made_.empty()) {
      std::error_code ignored;
      fs::current_path(fs::temp_directory_path(), ignored);
      fs::remove_all(made_, ignored);
    }
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  fs::path made_;
};

int Run(const Arguments& arguments) {
  if (arguments.positional.size() != 1) return Usage();
  const fs::path page = fs::absolute(arguments.positional[0]);
  const std::optional<std::string> output = arguments.Option("-o");
  const fs::path outputPath = output ? fs::absolute(*output) : fs::path();
  PageRequest request;
  request.method = "GET";
  request.path = "/" + page.filename().string();
  request.queryString = arguments.Option("--query").value_or("");
  request.remoteAddress = "127.0.0.1";

  const WorkingDirectory workdir(arguments.Option("--workdir"));
  const PageEngine engine(page.parent_path(), PageLimits{});
  const PageReply reply = engine.Run(page, request);

  std::cerr << "status: " << reply.status << "\ncontent-type: " << reply.contentType << "\n";
  for (const auto& [name, value] : reply.headers) std::cerr << name << ": " << value << "\n";
  if (reply.status >= 400) {
    std::cerr << reply.body;
    return 1;
  }
  if (output) {
    std::ofstream out(outputPath, std::ios::binary);
    out.write(reply.body.data(), static_cast<std::streamsize>(reply.body.size()));
    if (!out) {
      std::cerr << "cannot write " << *output << "\n";
      return 1;
    }
  } else {
    std::cout.write(reply.body.data(), static_cast<std::streamsize>(reply.body.size()));
  }
  return 0;
}

int Serve(const Arguments& arguments) {
  if (arguments.positional.size() > 1) return Usage();
  const fs::path root = fs::absolute(arguments.positional.empty() ? "." : arguments.positional[0]);
  ServerOptions options;
  if (auto listen = arguments.Option("--listen")) options.listen = *listen;
  if (auto port = arguments.Option("--port")) options.port = static_cast<std::uint16_t>(std::stoi(*port));
  if (auto threads = arguments.Option("--threads")) options.threads = static_cast<unsigned>(std::stoi(*threads));

  // Stop cleanly on SIGINT or SIGTERM, finishing the requests in flight.
  if (::pipe2(stopPipe, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);

  const WorkingDirectory workdir(arguments.Option("--workdir"));
  const PageEngine engine(root, PageLimits{});
  HttpServer server(engine, options);
  std::string error;
  if (!server.Start(&error)) {
    std::cerr << "kelvane: " << error << "\n";
    return 1;
  }
  std::cerr << "kelvane: serving " << root.string() << " at http://"
            << (options.listen.find(':') != std::string::npos ? "[" + options.listen + "]" : options.listen)
            << ":" << server.Port() << "/\n";
  WaitForStopSignal();
  std::cerr << "kelvane: stopping\n";
  server.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A client that goes away must not end the process.
  signal(SIGPIPE, SIG_IGN);
  if (argc < 2) return Usage();
  const std::optional<Arguments> arguments = Parse(argc, argv);
  if (!arguments) return Usage();
  try {
    const std::string command = argv[1];
    if (command == "run") return Run(*arguments);
    if (command == "serve") return Serve(*arguments);
  } catch (const std::exception& e) {
    std::cerr << "kelvane: " << e.what() << "\n";
    return 1;
  }
  return Usage();
}
