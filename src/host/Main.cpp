// The kelvane command:
//   kelvane serve [ROOT] [--config FILE] [--OPTION VALUE]...
//   kelvane run PAGE [--query QS] [--workdir DIR] [-o FILE]
//   kelvane check ROOT
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "host/LogFile.h"
#include "host/ServerConfig.h"
#include "host/WorkingDirectory.h"
#include "host/http/HttpServer.h"
#include "host/pages/PageEngine.h"
#include "host/pages/SiteCheck.h"
#include "platform/picture/PictureCache.h"

namespace {

namespace fs = std::filesystem;
using namespace kelvane::host;

// SIGINT, SIGTERM and SIGHUP write their number here, from whichever
// thread they reach; the main thread waits to read it and does the work.
int signalPipe[2] = {-1, -1};

void OnSignal(int number) {
  const auto byte = static_cast<char>(number);
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

int WaitForSignal() {
  char byte = 0;
  while (::read(signalPipe[0], &byte, 1) < 0 && errno == EINTR) {
  }
  return byte;
}

int Usage() {
  std::cerr << "usage:\n"
               "  kelvane serve [ROOT] [--config FILE] [--listen ADDR] [--port N] [--threads N]\n"
               "                [--workers N] [--max-stuck-workers N] [--workdir DIR]\n"
               "                [--root DIR] [--page-time T] [--page-memory SIZE]\n"
               "                [--picture-cache SIZE]\n"
               "                [--max-body SIZE] [--max-connections N]\n"
               "                [--max-connections-per-address N] [--queue-depth N]\n"
               "                [--hidden-extensions LIST] [--page-errors local|all|none]\n"
               "                [--error-page-500 PATH]\n"
               "                [--log-format plain|combined] [--log-file FILE]\n"
               "                [--trusted-proxies ADDRS] [--endpoints-from ADDRS]\n"
               "  kelvane run PAGE [--query QS] [--workdir DIR] [-o FILE]\n"
               "  kelvane check ROOT\n";
  return 2;
}

// A command line that cannot be followed as written: the command exits 2
// with this message.
struct BadArguments : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The arguments after the command: the options given, and what stands alone.
struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;

  // Refuses an option not in `known`.
  void Allow(std::initializer_list<std::string_view> known) const {
    for (const auto& [key, value] : options)
      if (std::find(known.begin(), known.end(), key) == known.end())
        throw BadArguments("unknown option " + key);
  }

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

// Says what earlier processes had left in the working directory that
// opening it removed.
void TellRemoved(const WorkingDirectory::Leftovers& removed) {
  if (removed.deliveries > 0)
    std::cerr << "kelvane: removed " << removed.deliveries << " delivery files that an earlier process left\n";
  if (removed.folders > 0)
    std::cerr << "kelvane: removed " << removed.folders << " working folders of processes gone\n";
}

int Run(const Arguments& arguments) {
  if (arguments.positional.size() != 1) return Usage();
  arguments.Allow({"--query", "--workdir", "-o"});
  const fs::path page = fs::absolute(arguments.positional[0]);
  const std::optional<std::string> output = arguments.Option("-o");
  const fs::path outputPath = output ? fs::absolute(*output) : fs::path();
  PageRequest request;
  request.method = "GET";
  request.path = "/" + page.filename().string();
  request.queryString = arguments.Option("--query").value_or("");
  request.target = request.queryString.empty() ? request.path : request.path + "?" + request.queryString;
  request.remoteAddress = "127.0.0.1";
  request.client = request.remoteAddress;
  request.localAddress = request.remoteAddress;

  const WorkingDirectory workdir(arguments.Option("--workdir"));
  TellRemoved(workdir.Removed());
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

// Compiles every page of the site and runs none: exits 0 when all compile.
int Check(const Arguments& arguments) {
  if (arguments.positional.size() != 1) return Usage();
  arguments.Allow({});
  const SiteCheckCount count = CheckSite(arguments.positional[0], std::cout);
  return count.compiled == count.pages ? 0 : 1;
}

// The options of `kelvane serve`: those of the file named by --config, if
// any, then those of the command line, which win.
ServerConfig ServeConfig(const Arguments& arguments) {
  ServerConfig config;
  if (const auto file = arguments.Option("--config")) ApplyConfigFile(config, *file);
  for (const auto& [key, value] : arguments.options) {
    if (key == "--config") continue;
    try {
      if (!key.starts_with("--")) throw BadSetting("is not an option");
      ApplySetting(config, std::string_view(key).substr(2), value);
    } catch (const BadSetting& e) {
      throw BadArguments(key + " " + e.what());
    }
  }
  if (!arguments.positional.empty()) config.root = arguments.positional[0];
  return config;
}

int Serve(const Arguments& arguments) {
  if (arguments.positional.size() > 1) return Usage();
  const ServerConfig config = ServeConfig(arguments);
  const fs::path root = fs::absolute(config.root);
  const ServerOptions& options = config.server;

  // Stop cleanly on SIGINT or SIGTERM, finishing the requests in flight;
  // reopen the log file on SIGHUP.
  if (::pipe2(signalPipe, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);

  // Request lines go to the log file, if any; the server's own messages,
  // which start "http: ", and the command's go to stderr.
  std::optional<LogFile> logFile;
  if (config.logFile) logFile.emplace(*config.logFile);
  const RequestLog log = [&logFile](std::string_view line) {
    if (logFile && !line.starts_with("http: "))
      logFile->Write(line);
    else
      LogToStderr(line);
  };

  WorkingDirectory workdir(config.workdir);
  TellRemoved(workdir.Removed());
  kelvane::picture::ProcessPictureCache().SetLimit(config.pictureCacheBytes);
  const PageEngine engine(root, config.limits, config.sessions, config.sessionStore);
  HttpServer server(engine, options, log);
  std::string error;
  if (!server.Start(&error)) {
    std::cerr << "kelvane: " << error << "\n";
    return 1;
  }
  std::cerr << "kelvane: serving " << root.string() << " at http://"
            << (options.listen.find(':') != std::string::npos && options.listen.front() != '['
                    ? "[" + options.listen + "]"
                    : options.listen)
            << ":" << server.Port() << "/\n";
  while (WaitForSignal() == SIGHUP) {
    if (logFile && !logFile->Reopen(&error)) std::cerr << "kelvane: " << error << "\n";
  }
  std::cerr << "kelvane: stopping\n";
  if (!server.Stop()) {
    // A worker is inside a page that will not return, which the server, the
    // engine and the process cannot be torn down around: end without them.
    std::cerr << "kelvane: stopped with a worker still inside a page\n";
    workdir.Remove();
    std::_Exit(1);
  }
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
    if (command == "check") return Check(*arguments);
  } catch (const BadArguments& e) {
    std::cerr << "kelvane: " << e.what() << "\n";
    return 2;
  } catch (const BadSetting& e) {
    std::cerr << "kelvane: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "kelvane: " << e.what() << "\n";
    return 1;
  }
  return Usage();
}
