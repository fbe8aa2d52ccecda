#include "host/objects/adodb/ConnectionString.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "host/objects/adodb/AdoErrors.h"
#include "host/objects/adodb/DriverRules.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

namespace {

// Where a database file may be opened: for writing in the data folders;
// else, where pages may read (the site), only as it is, for reading.
std::pair<std::filesystem::path, bool> DatabaseFile(std::string_view path, const FileReach& reach) {
  try {
    return {reach(path, FileUse::Write), true};
  } catch (const oleaut::AutomationError& error) {
    if (error.Number() != oleaut::kPermissionDenied) throw;
  }
  return {reach(path, FileUse::Read), false};
}

// The URI that opens `file` read-only: SQLite then neither writes to it nor
// makes it, nor a journal beside it.
std::string ReadOnlyUri(const std::filesystem::path& file) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const unsigned char c : file.native()) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri + "?mode=ro";
}

constexpr const char* kSource = "ADODB.Connection";
constexpr std::size_t kMaxText = 8192;
constexpr std::string_view kMask = "****";

constexpr std::string_view kAccessAdvice =
    "Access databases (.mdb, .accdb) are not opened here: move the data into SQLite with "
    "mdbtools (mdb-schema FILE.mdb sqlite, then mdb-export -I sqlite FILE.mdb TABLE for each "
    "table, both piped into sqlite3 FILE.db), put FILE.db in a data folder and connect with "
    "Driver={SQLite3};Database=FILE.db";

[[noreturn]] void Fail(std::int32_t number, std::string description) {
  throw oleaut::AutomationError(number, kSource, std::move(description));
}

[[noreturn]] void Malformed(std::size_t piece, std::string_view what) {
  Fail(kWrongArguments,
       "The connection string is malformed: piece " + std::to_string(piece) + " " + std::string(what));
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// What the keys of a connection string and the names of DSNs are made of.
bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ' ' ||
         c == '.' || c == '-' || c == ':';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Reads the value that starts at text[i], '{', '"' or '\'', up to its
// closing character, which is doubled inside; i ends past the closing one.
std::optional<std::string> ReadEnclosed(std::string_view text, std::size_t& i) {
  const char close = text[i] == '{' ? '}' : text[i];
  std::string value;
  for (++i; i < text.size(); ++i) {
    if (text[i] != close) {
      value += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == close) {
      value += close;
      ++i;
    } else {
      ++i;
      return value;
    }
  }
  return std::nullopt;
}

bool IsTrue(std::string_view folded) {
  return folded == "yes" || folded == "true" || folded == "sspi" || folded == "1" || folded == "strict" ||
         folded == "mandatory";
}

bool IsFalse(std::string_view folded) { return folded == "no" || folded == "false" || folded == "0"; }

// Whether the option `folded` holds a password: PWD, Password, and the
// like of other drivers ("Jet OLEDB:Database Password").
bool IsPassword(std::string_view folded) { return folded.ends_with("pwd") || folded.ends_with("password"); }

// The connection string under construction, for the driver and masked.
class Builder {
 public:
  explicit Builder(const std::vector<ConnectionOption>& options) : options_(options) {
    const auto password =
        std::ranges::find_if(options, [](const ConnectionOption& o) { return IsPassword(oleaut::FoldCase(o.key)); });
    namedBefore_ = static_cast<std::size_t>(password - options.begin());
  }

  // How the option at `index` is named in an error: by its key (or its
  // value) while no password came before it, which an unbraced ';' could
  // have split; by its place after one.
  std::string Name(std::size_t index) const { return Quote(index, options_[index].key); }
  std::string Value(std::size_t index) const { return Quote(index, options_[index].value); }

  // Takes `key` for the driver's string, which holds each key once.
  void Claim(std::string_view key) {
    if (std::ranges::find(keys_, key) != keys_.end())
      Fail(kWrongArguments, "The connection string gives '" + std::string(key) + "' twice");
    keys_.emplace_back(key);
  }

  bool Claimed(std::string_view key) const { return std::ranges::find(keys_, key) != keys_.end(); }

  // Adds key=value; the driver's name is braced as pages write it.
  void Add(std::string_view key, std::string_view value, bool password = false) {
    const bool brace = key == "Driver";
    Append(target_.connect, key, value, brace);
    Append(target_.masked, key, password ? kMask : value, brace);
  }

  OdbcTarget& Target() { return target_; }

 private:
  std::string Quote(std::size_t index, std::string_view text) const {
    if (index < namedBefore_) return "'" + std::string(text) + "'";
    return "number " + std::to_string(index + 1);
  }

  // key=value, braced where the value holds what would end it, be trimmed
  // or read as a quote.
  static void Append(std::string& text, std::string_view key, std::string_view value, bool brace) {
    if (!text.empty()) text += ';';
    text.append(key) += '=';
    brace = brace || value.find_first_of(";{}") != std::string_view::npos ||
            (!value.empty() &&
             (IsSpace(value.front()) || IsSpace(value.back()) || value.front() == '"' || value.front() == '\''));
    if (!brace) {
      text += value;
      return;
    }
    text += '{';
    for (const char c : value) {
      text += c;
      if (c == '}') text += '}';
    }
    text += '}';
  }

  const std::vector<ConnectionOption>& options_;
  std::size_t namedBefore_;
  std::vector<std::string> keys_;
  OdbcTarget target_;
};

// A SQL Server address as FreeTDS takes it: "tcp:" dropped, the local
// server's names made "localhost"; named pipes do not exist here.
std::string ServerAddress(std::string_view value) {
  std::string address(Trim(value));
  const std::string folded = oleaut::FoldCase(address);
  if (folded.starts_with("np:"))
    Fail(kWrongArguments, "SQL Server is reached here over TCP only, not by a named pipe");
  if (folded.starts_with("tcp:") || folded.starts_with("lpc:")) address.erase(0, 4);
  const std::size_t hostEnd = address.find_first_of(",\\");
  const std::string host = oleaut::FoldCase(std::string_view(address).substr(0, hostEnd));
  if (host == "(local)" || host == ".") address.replace(0, std::min(hostEnd, address.size()), "localhost");
  return address;
}

// The name an installed driver has for `driver`, compared without case.
std::string_view InstalledName(std::string_view driver, std::span<const std::string> installed) {
  const std::string folded = oleaut::FoldCase(driver);
  const auto it =
      std::ranges::find_if(installed, [&](const std::string& name) { return oleaut::FoldCase(name) == folded; });
  return it == installed.end() ? std::string_view{} : std::string_view(*it);
}

struct Choice {
  DriverFamily family;
  std::string driver;  // the installed driver; empty for a DSN
  std::string dsn;
};

// The driver or DSN the options ask for, and the family of their options.
Choice Choose(const std::vector<ConnectionOption>& options, const Builder& builder,
              std::span<const std::string> installed) {
  std::optional<std::size_t> provider, driver, dsn;
  for (std::size_t i = 0; i < options.size(); ++i) {
    const std::string key = oleaut::FoldCase(options[i].key);
    auto* slot = key == "provider" ? &provider : key == "driver" ? &driver : key == "dsn" ? &dsn : nullptr;
    if (slot == nullptr) continue;
    if (*slot) Fail(kWrongArguments, "The connection string gives '" + options[i].key + "' twice");
    *slot = i;
  }
  if (driver && dsn) Fail(kWrongArguments, "The connection string names both a driver and a DSN: give one");
  Choice choice{DriverFamily::Other, {}, {}};
  std::string_view wanted;
  if (provider) {
    const std::string& name = options[*provider].value;
    const DriverName* entry = FindProvider(oleaut::FoldCase(Trim(name)));
    if (entry == nullptr)
      Fail(kProviderNotFound, "The provider " + builder.Value(*provider) +
                                  " is not available here: name an ODBC driver with Driver={...}, "
                                  "or use SQLOLEDB for SQL Server");
    if (entry->family == DriverFamily::Access) Fail(kProviderNotFound, std::string(kAccessAdvice));
    if (entry->family == DriverFamily::SqlServer) {
      if (driver || dsn)
        Fail(kWrongArguments, "The connection string names both an OLE DB provider and an ODBC driver: give one");
      choice.family = DriverFamily::SqlServer;
      wanted = entry->driver;
    }
  }
  if (driver) {
    const std::string_view name = Trim(options[*driver].value);
    if (const DriverName* entry = FindDriverName(oleaut::FoldCase(name))) {
      if (entry->family == DriverFamily::Access) Fail(kProviderNotFound, std::string(kAccessAdvice));
      choice.family = entry->family;
      wanted = entry->driver;
    } else {
      wanted = name;
    }
  } else if (dsn) {
    choice.family = DriverFamily::Dsn;
    choice.dsn = Trim(options[*dsn].value);
    // A name as odbc.ini's sections have them, which no driver manager
    // could read as more than a name.
    if (choice.dsn.empty() || !std::ranges::all_of(choice.dsn, IsNameCharacter))
      Fail(kWrongArguments, "The connection string names no DSN, or one with characters no DSN's name holds");
    return choice;
  } else if (wanted.empty()) {
    Fail(kWrongArguments, "The connection string names no ODBC driver or DSN");
  }
  const std::string_view installedName = InstalledName(wanted, installed);
  if (installedName.empty()) {
    const std::size_t at = driver ? *driver : *provider;
    Fail(kProviderNotFound,
         "The ODBC driver for " + builder.Value(at) + " is not installed on this server" +
             (wanted != Trim(options[at].value) ? " (it would be " + std::string(wanted) + ")" : ""));
  }
  choice.driver = installedName;
  return choice;
}

void AddOption(Builder& builder, const Choice& choice, const ConnectionOption& option, std::size_t index,
               const FileReach& reach) {
  const std::string key = oleaut::FoldCase(option.key);
  if (key == "provider" || key == "driver" || key == "dsn") return;
  const OptionRule* rule = FindRefusedEverywhere(key);
  if (rule == nullptr && choice.family == DriverFamily::Other) {
    builder.Claim(key);
    builder.Add(option.key, option.value, IsPassword(key));
    return;
  }
  if (rule == nullptr) rule = FindOptionRule(choice.family, key);
  if (rule == nullptr) {
    if (choice.family == DriverFamily::Dsn)
      Fail(kWrongArguments, "The option " + builder.Name(index) +
                                 " is not accepted with a DSN: only the user and password may be given, "
                                 "the rest belongs in the DSN's definition");
    Fail(kWrongArguments, "The option " + builder.Name(index) + " is not accepted for the driver " + choice.driver);
  }
  if (!rule->emit.empty()) builder.Claim(rule->emit);
  // A refused key is one of the table's, safe to name as the page wrote it.
  const auto refuse = [&] {
    Fail(kWrongArguments, "The option '" + option.key + "' is refused: " + std::string(rule->reason));
  };
  const std::string folded = oleaut::FoldCase(Trim(option.value));
  if (choice.family == DriverFamily::Sqlite && option.value.find_first_of(";{}") != std::string::npos)
    Fail(kWrongArguments,
         "The SQLite driver takes no ';' or braces in a value: see the option " + builder.Name(index));
  switch (rule->use) {
    case OptionUse::Pass:
      return builder.Add(rule->emit, option.value);
    case OptionUse::Password:
      return builder.Add(rule->emit, option.value, true);
    case OptionUse::Server:
      return builder.Add(rule->emit, ServerAddress(option.value));
    case OptionUse::DatabaseFile: {
      const std::string_view path = Trim(option.value);
      if (path == ":memory:") return builder.Add(rule->emit, path);
      if (path.empty()) Fail(kWrongArguments, "The connection string names no database file");
      if (folded.starts_with("file:"))
        Fail(kWrongArguments, "A database is named by its path here, not by a file: URI");
      auto [file, writable] = DatabaseFile(path, reach);
      builder.Add(rule->emit, writable ? file.string() : ReadOnlyUri(file));
      builder.Target().databaseFile = std::move(file);
      return;
    }
    case OptionUse::ReadFile:
      return builder.Add(rule->emit, reach(Trim(option.value), FileUse::Read).string());
    case OptionUse::Word:
      if (folded.empty() || !std::ranges::all_of(folded, [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
          }))
        Fail(kWrongArguments, "The option '" + std::string(rule->emit) + "' takes a single word");
      return builder.Add(rule->emit, folded);
    case OptionUse::Encrypt:
      if (IsTrue(folded)) builder.Add(rule->emit, "require");
      return;
    case OptionUse::Off:
      if (!IsFalse(folded)) refuse();
      return;
    case OptionUse::WindowsLogin:
      if (IsTrue(folded))
        Fail(kWrongArguments,
             "Windows authentication (Integrated Security, Trusted_Connection) cannot work on this server: "
             "give a User ID and Password");
      return;
    case OptionUse::Drop:
      return;
    case OptionUse::Refuse:
      refuse();
  }
}

}  // namespace

std::vector<ConnectionOption> ParseConnectionString(std::string_view text) {
  if (text.size() > kMaxText) Fail(kWrongArguments, "The connection string is longer than 8192 bytes");
  if (text.find('\0') != std::string_view::npos) Fail(kWrongArguments, "The connection string holds a NUL character");
  std::vector<ConnectionOption> options;
  std::size_t i = 0;
  for (std::size_t piece = 1; i < text.size(); ++piece) {
    const std::size_t end = text.find_first_of("=;", i);
    const std::string_view key = Trim(text.substr(i, end == std::string_view::npos ? end : end - i));
    if (end == std::string_view::npos || text[end] == ';') {
      if (!key.empty()) Malformed(piece, "has no '='");
      i = end == std::string_view::npos ? text.size() : end + 1;
      continue;
    }
    if (key.empty()) Malformed(piece, "has no key before its '='");
    if (!std::ranges::all_of(key, IsNameCharacter)) Malformed(piece, "has a key with characters no key holds");
    i = end + 1;
    while (i < text.size() && IsSpace(text[i])) ++i;
    std::string value;
    if (i < text.size() && (text[i] == '{' || text[i] == '"' || text[i] == '\'')) {
      auto enclosed = ReadEnclosed(text, i);
      if (!enclosed) Malformed(piece, "opens a brace or quote it does not close");
      value = std::move(*enclosed);
      while (i < text.size() && IsSpace(text[i])) ++i;
      if (i < text.size() && text[i] != ';') Malformed(piece, "goes on after its closing brace or quote");
    } else {
      const std::size_t stop = std::min(text.find(';', i), text.size());
      value = Trim(text.substr(i, stop - i));
      i = stop;
    }
    ++i;
    options.push_back({std::string(key), std::move(value)});
  }
  return options;
}

OdbcTarget ToOdbc(std::string_view pageText, std::span<const std::string> installedDrivers, const FileReach& reach) {
  const std::vector<ConnectionOption> options = ParseConnectionString(pageText);
  Builder builder(options);
  const Choice choice = Choose(options, builder, installedDrivers);
  const std::string_view key = choice.dsn.empty() ? "Driver" : "DSN";
  builder.Claim(key);
  builder.Add(key, choice.dsn.empty() ? choice.driver : choice.dsn);
  for (std::size_t i = 0; i < options.size(); ++i) AddOption(builder, choice, options[i], i, reach);
  for (const DefaultOption& option : DefaultOptions(choice.family))
    if (!builder.Claimed(option.key)) builder.Add(option.key, option.value);
  return std::move(builder.Target());
}

}  // namespace kelvane::host::adodb
