#pragma once
// The tables behind ToOdbc: which installed driver serves a name a page
// gives (Windows names included), and what each driver family does with
// each option of a connection string.

#include <span>
#include <string_view>

namespace kelvane::host::adodb {

enum class DriverFamily { SqlServer, MariaDb, PostgreSql, Sqlite, Access, Dsn, Other };

// The driver behind a name in Driver=: the installed driver's name ("" for
// Access, which has none) and its family.
struct DriverName {
  std::string_view pattern;  // folded; one '*' matches any text
  std::string_view driver;
  DriverFamily family;
};

// The entry for `folded`, a driver name with its braces and case folded;
// nullptr for a name the table does not know.
const DriverName* FindDriverName(std::string_view folded);

// The entry for the OLE DB provider `folded`; nullptr for one not served.
// MSDASQL's entry has the family Other: the rest of the string names the
// ODBC driver.
const DriverName* FindProvider(std::string_view folded);

// What an option does on its way to the driver.
enum class OptionUse {
  Pass,          // given as it is, under the rule's key
  Password,      // given as it is, masked in logs
  Server,        // a SQL Server address: tcp:, (local), named pipes refused
  DatabaseFile,  // a database file the driver opens for writing
  ReadFile,      // a file the driver reads (certificates, keys)
  Word,          // a single word (letters, digits, '_'), spliced into SQL by the driver
  Encrypt,       // yes/true/strict/mandatory become "require"; anything else is dropped
  Off,           // only a false value is accepted, and then dropped
  WindowsLogin,  // a true value is refused: no Windows login here; anything else is dropped
  Drop,          // means nothing here, harmless: left out
  Refuse,        // refused, for `reason`
};

struct OptionRule {
  std::string_view key;  // folded
  std::string_view emit;  // the key the driver is given
  OptionUse use;
  std::string_view reason = {};
};

// The rule for the option `folded` in a string for `family`; nullptr when
// the family takes no such option. Family Other has no rules of its own.
const OptionRule* FindOptionRule(DriverFamily family, std::string_view folded);

// Options no string may hold, whatever its driver, with the reason.
const OptionRule* FindRefusedEverywhere(std::string_view folded);

// An option a family's driver is given when the page does not give it.
struct DefaultOption {
  std::string_view key;  // as the driver is given it, as OptionRule::emit
  std::string_view value;
};

// The options `family`'s driver is given unless the page gives them.
std::span<const DefaultOption> DefaultOptions(DriverFamily family);

}  // namespace kelvane::host::adodb
