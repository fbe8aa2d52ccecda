#include "host/objects/adodb/DriverRules.h"

#include <algorithm>
#include <iterator>

namespace kelvane::host::adodb {

namespace {

using enum DriverFamily;
using enum OptionUse;

// The names as Debian's driver packages register them in odbcinst.ini.
constexpr std::string_view kFreeTds = "FreeTDS";
constexpr std::string_view kMariaDb = "MariaDB Unicode";
constexpr std::string_view kSqlite = "SQLite3";

// First match wins. Every SQLite name goes to the SQLite 3 driver: the
// package's "SQLite" is the SQLite 2 driver, which opens no file made
// these twenty years and would escape the guard on SQLite 3 connections.
constexpr DriverName kDriverNames[] = {
    {"sql server", kFreeTds, SqlServer},
    {"sql native client", kFreeTds, SqlServer},
    {"sql server native client *", kFreeTds, SqlServer},
    {"odbc driver * for sql server", kFreeTds, SqlServer},
    {"freetds", kFreeTds, SqlServer},
    {"mysql odbc *", kMariaDb, MariaDb},
    {"mariadb*", kMariaDb, MariaDb},
    {"postgresql ansi*", "PostgreSQL ANSI", PostgreSql},
    {"postgresql*", "PostgreSQL Unicode", PostgreSql},
    {"sqlite*", kSqlite, Sqlite},
    {"microsoft access driver *", "", Access},
    {"driver do microsoft access *", "", Access},
};

constexpr DriverName kProviders[] = {
    {"sqloledb*", kFreeTds, SqlServer},
    {"sqlncli*", kFreeTds, SqlServer},
    {"msoledbsql*", kFreeTds, SqlServer},
    {"msdasql*", "", Other},
    {"microsoft.jet.oledb.*", "", Access},
    {"microsoft.ace.oledb.*", "", Access},
};

constexpr std::string_view kLoadsCode = "it would load code into the server";
constexpr std::string_view kWritesFiles = "it would write files outside the data folders";
constexpr std::string_view kLogFiles = "it would write log files outside the data folders";

// SQL Server's ODBC and OLE DB keys, for FreeTDS, which takes
// "host,port" and "host\instance" in Server as SQL Server does.
constexpr OptionRule kSqlServerOptions[] = {
    {"server", "Server", Server},
    {"data source", "Server", Server},
    {"address", "Server", Server},
    {"addr", "Server", Server},
    {"network address", "Server", Server},
    {"servername", "Servername", Pass},
    {"port", "Port", Pass},
    {"database", "Database", Pass},
    {"initial catalog", "Database", Pass},
    {"uid", "UID", Pass},
    {"user id", "UID", Pass},
    {"user", "UID", Pass},
    {"pwd", "PWD", Password},
    {"password", "PWD", Password},
    {"app", "APP", Pass},
    {"application name", "APP", Pass},
    {"wsid", "WSID", Pass},
    {"workstation id", "WSID", Pass},
    {"language", "Language", Pass},
    {"current language", "Language", Pass},
    {"tds_version", "TDS_Version", Pass},
    {"clientcharset", "ClientCharset", Pass},
    {"encryption", "Encryption", Pass},
    {"encrypt", "Encryption", Encrypt},
    {"use encryption for data", "Encryption", Encrypt},
    {"mars_connection", "MARS_Connection", Pass},
    {"mars connection", "MARS_Connection", Pass},
    {"multipleactiveresultsets", "MARS_Connection", Pass},
    {"applicationintent", "ApplicationIntent", Pass},
    {"application intent", "ApplicationIntent", Pass},
    {"trusted_connection", "", WindowsLogin},
    {"integrated security", "", WindowsLogin},
    {"trustservercertificate", "", Drop},
    {"trust server certificate", "", Drop},
    {"persist security info", "", Drop},
    {"network library", "", Drop},
    {"network", "", Drop},
    {"connect timeout", "", Drop},
    {"connection timeout", "", Drop},
    {"packet size", "", Drop},
    {"auto translate", "", Drop},
    {"autotranslate", "", Drop},
    {"regional", "", Drop},
    {"quotedid", "", Drop},
    {"ansinpw", "", Drop},
    {"datatypecompatibility", "", Drop},
    {"use procedure for prepare", "", Drop},
    {"attachdbfilename", "", Refuse, "it names a database file on the server's disk"},
    {"dumpfile", "", Refuse, kLogFiles},
    {"dumpfileappend", "", Refuse, kLogFiles},
    {"debugflags", "", Refuse, kLogFiles},
};

// MySQL's Connector/ODBC keys, for MariaDB's, which shares them.
constexpr OptionRule kMariaDbOptions[] = {
    {"server", "SERVER", Pass},
    {"port", "PORT", Pass},
    {"database", "DATABASE", Pass},
    {"db", "DATABASE", Pass},
    {"uid", "UID", Pass},
    {"user", "UID", Pass},
    {"pwd", "PWD", Password},
    {"password", "PWD", Password},
    {"option", "OPTION", Pass},
    {"options", "OPTION", Pass},
    {"charset", "CHARSET", Pass},
    {"socket", "SOCKET", Pass},
    {"conn_timeout", "CONN_TIMEOUT", Pass},
    {"read_timeout", "READ_TIMEOUT", Pass},
    {"write_timeout", "WRITE_TIMEOUT", Pass},
    {"initstmt", "INITSTMT", Pass},
    {"stmt", "INITSTMT", Pass},
    {"tcpip", "TCPIP", Pass},
    {"no_prompt", "NO_PROMPT", Pass},
    {"auto_reconnect", "AUTO_RECONNECT", Pass},
    {"forwardonly", "FORWARDONLY", Pass},
    {"forcetls", "FORCETLS", Pass},
    {"sslverify", "SSLVERIFY", Pass},
    {"tlsversion", "TLSVERSION", Pass},
    {"sslcipher", "SSLCIPHER", Pass},
    {"sslfp", "SSLFP", Pass},
    {"tlspeerfp", "TLSPEERFP", Pass},
    {"sslkey", "SSLKEY", ReadFile},
    {"sslcert", "SSLCERT", ReadFile},
    {"sslca", "SSLCA", ReadFile},
    {"sslcapath", "SSLCAPATH", ReadFile},
    {"sslcrl", "SSLCRL", ReadFile},
    {"sslcrlpath", "SSLCRLPATH", ReadFile},
    {"sslfplist", "SSLFPLIST", ReadFile},
    {"tlspeerfplist", "TLSPEERFPLIST", ReadFile},
    {"serverkey", "SERVERKEY", ReadFile},
    {"description", "", Drop},
    {"plugin_dir", "", Refuse, kLoadsCode},
    {"defaultauth", "", Refuse, kLoadsCode},
    {"use_mycnf", "", Refuse, "it would read option files that can load code"},
    {"trace", "", Refuse, kLogFiles},
};

// psqlODBC's keys. pqopt hands options to libpq, whose key files can name
// an OpenSSL engine to load.
constexpr OptionRule kPostgreSqlOptions[] = {
    {"server", "Servername", Pass},
    {"servername", "Servername", Pass},
    {"port", "Port", Pass},
    {"database", "Database", Pass},
    {"uid", "UID", Pass},
    {"username", "UID", Pass},
    {"user", "UID", Pass},
    {"pwd", "PWD", Password},
    {"password", "PWD", Password},
    {"sslmode", "SSLmode", Pass},
    {"readonly", "ReadOnly", Pass},
    {"protocol", "Protocol", Pass},
    {"connsettings", "ConnSettings", Pass},
    {"fetch", "Fetch", Pass},
    {"unknownsizes", "UnknownSizes", Pass},
    {"maxvarcharsize", "MaxVarcharSize", Pass},
    {"maxlongvarcharsize", "MaxLongVarcharSize", Pass},
    {"textaslongvarchar", "TextAsLongVarchar", Pass},
    {"unknownsaslongvarchar", "UnknownsAsLongVarchar", Pass},
    {"boolsaschar", "BoolsAsChar", Pass},
    {"usedeclarefetch", "UseDeclareFetch", Pass},
    {"useserversideprepare", "UseServerSidePrepare", Pass},
    {"parse", "Parse", Pass},
    {"byteaaslongvarbinary", "ByteaAsLongVarBinary", Pass},
    {"lowercaseidentifier", "LowerCaseIdentifier", Pass},
    {"lfconversion", "LFConversion", Pass},
    {"trueisminus1", "TrueIsMinus1", Pass},
    {"updatablecursors", "UpdatableCursors", Pass},
    {"rowversioning", "RowVersioning", Pass},
    {"showsystemtables", "ShowSystemTables", Pass},
    {"showoidcolumn", "ShowOidColumn", Pass},
    {"fakeoidindex", "FakeOidIndex", Pass},
    {"batchsize", "BatchSize", Pass},
    {"keepalivetime", "KeepaliveTime", Pass},
    {"keepaliveinterval", "KeepaliveInterval", Pass},
    {"numericas", "NumericAs", Pass},
    {"optionalerrors", "OptionalErrors", Pass},
    {"fetchrefcursors", "FetchRefcursors", Pass},
    {"ignoretimeout", "IgnoreTimeout", Pass},
    {"extrasystableprefixes", "ExtraSysTablePrefixes", Pass},
    {"description", "", Drop},
    {"debug", "", Off, kLogFiles},
    {"commlog", "", Off, kLogFiles},
    {"logdir", "", Refuse, kLogFiles},
    {"pqopt", "", Refuse, kLoadsCode},
};

// psqlODBC gives a boolean column as the text "1" or "0" unless told not
// to; pages expect a Boolean.
constexpr DefaultOption kPostgreSqlDefaults[] = {{"BoolsAsChar", "0"}};

// The SQLite 3 driver's keys. Its own parser knows no braces, so its
// values are checked for ';' and braces where they are given.
constexpr OptionRule kSqliteOptions[] = {
    {"database", "Database", DatabaseFile},
    {"timeout", "Timeout", Pass},
    {"stepapi", "StepAPI", Pass},
    {"notxn", "NoTXN", Pass},
    {"shortnames", "ShortNames", Pass},
    {"longnames", "LongNames", Pass},
    {"nocreat", "NoCreat", Pass},
    {"nowchar", "NoWCHAR", Pass},
    {"fksupport", "FKSupport", Pass},
    {"bigint", "BigInt", Pass},
    {"jdconv", "JDConv", Pass},
    {"oemcp", "OEMCP", Pass},
    {"syncpragma", "SyncPragma", Word},
    {"journalmode", "JournalMode", Word},
    {"pwd", "PWD", Password},
    {"description", "", Drop},
    {"loadext", "", Refuse, kLoadsCode},
    {"tracefile", "", Refuse, kWritesFiles},
};

// With a DSN the administrator's definition says everything but who logs in.
constexpr OptionRule kDsnOptions[] = {
    {"uid", "UID", Pass},
    {"user id", "UID", Pass},
    {"user", "UID", Pass},
    {"pwd", "PWD", Password},
    {"password", "PWD", Password},
};

constexpr OptionRule kRefusedEverywhere[] = {
    {"filedsn", "", Refuse, "it would read a file DSN from the server's disk"},
    {"savefile", "", Refuse, kWritesFiles},
};

// Whether `folded` matches `pattern`, whose one '*' matches any text.
bool Matches(std::string_view pattern, std::string_view folded) {
  const auto star = pattern.find('*');
  if (star == std::string_view::npos) return pattern == folded;
  const std::string_view head = pattern.substr(0, star);
  const std::string_view tail = pattern.substr(star + 1);
  return folded.size() >= head.size() + tail.size() && folded.starts_with(head) && folded.ends_with(tail);
}

const DriverName* FindName(std::span<const DriverName> names, std::string_view folded) {
  const auto it = std::ranges::find_if(names, [&](const DriverName& n) { return Matches(n.pattern, folded); });
  return it == names.end() ? nullptr : &*it;
}

const OptionRule* FindRule(std::span<const OptionRule> rules, std::string_view folded) {
  const auto it = std::ranges::find(rules, folded, &OptionRule::key);
  return it == rules.end() ? nullptr : &*it;
}

}  // namespace

const DriverName* FindDriverName(std::string_view folded) { return FindName(kDriverNames, folded); }

const DriverName* FindProvider(std::string_view folded) { return FindName(kProviders, folded); }

const OptionRule* FindOptionRule(DriverFamily family, std::string_view folded) {
  switch (family) {
    case SqlServer: return FindRule(kSqlServerOptions, folded);
    case MariaDb: return FindRule(kMariaDbOptions, folded);
    case PostgreSql: return FindRule(kPostgreSqlOptions, folded);
    case Sqlite: return FindRule(kSqliteOptions, folded);
    case Dsn: return FindRule(kDsnOptions, folded);
    case Access:
    case Other: return nullptr;
  }
  return nullptr;
}

const OptionRule* FindRefusedEverywhere(std::string_view folded) { return FindRule(kRefusedEverywhere, folded); }

std::span<const DefaultOption> DefaultOptions(DriverFamily family) {
  if (family == PostgreSql) return kPostgreSqlDefaults;
  return {};
}

}  // namespace kelvane::host::adodb
