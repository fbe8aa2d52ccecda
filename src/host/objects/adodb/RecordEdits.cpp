#include "host/objects/adodb/RecordEdits.h"

#include <algorithm>

#include "host/objects/adodb/AdoErrors.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

namespace {

using oleaut::Variant;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameQuote(char c) { return c == '"' || c == '`' || c == '['; }

// SQL read as words, quoted names, strings and single characters, with
// the depth of parentheses each stands at.
class SqlReader {
 public:
  explicit SqlReader(std::string_view sql) : sql_(sql) {}

  bool AtEnd() {
    while (at_ < sql_.size() && IsSpace(sql_[at_])) ++at_;
    return at_ == sql_.size();
  }
  int depth() const { return depth_; }

  // The next piece; empty at the end or in an unclosed quote.
  std::string_view Next() {
    if (AtEnd()) return {};
    const std::size_t start = at_;
    const char c = sql_[at_];
    if (c == '\'' || IsNameQuote(c)) {
      const std::size_t close = sql_.find(c == '[' ? ']' : c, at_ + 1);
      if (close == std::string_view::npos) {
        at_ = sql_.size();
        return {};
      }
      at_ = close + 1;
    } else if (IsWordChar(c)) {
      while (at_ < sql_.size() && IsWordChar(sql_[at_])) ++at_;
    } else {
      ++at_;
      depth_ += c == '(' ? 1 : c == ')' ? -1 : 0;
    }
    return sql_.substr(start, at_ - start);
  }

  // A table's name: names, plain or quoted, joined by dots.
  std::string_view Name() {
    if (AtEnd()) return {};
    const std::size_t start = at_;
    for (;;) {
      const char c = sql_[at_];
      if (!IsNameQuote(c) && !IsWordChar(c)) return {};
      if (Next().empty()) return {};
      if (at_ == sql_.size() || sql_[at_] != '.') break;
      if (++at_ == sql_.size()) return {};
    }
    return sql_.substr(start, at_ - start);
  }

 private:
  std::string_view sql_;
  std::size_t at_ = 0;
  int depth_ = 0;
};

bool IsWord(std::string_view piece, std::initializer_list<std::string_view> words) {
  return std::ranges::any_of(words, [&](std::string_view w) { return oleaut::SameName(piece, w); });
}

// The last part of a dotted name, its quotes taken off.
std::string Unquoted(std::string_view name) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (IsNameQuote(c)) i = name.find(c == '[' ? ']' : c, i + 1);
    else if (c == '.') start = i + 1;
  }
  std::string_view last = name.substr(start);
  if (!last.empty() && IsNameQuote(last.front())) last = last.substr(1, last.size() - 2);
  return std::string(last);
}

std::string Lowered(std::string text) {
  for (char& c : text) c = oleaut::FoldChar(c);
  return text;
}

}  // namespace

std::optional<std::string> BaseTable(std::string_view sql) {
  SqlReader reader(sql);
  if (!oleaut::SameName(reader.Next(), "select")) return std::nullopt;
  std::string_view piece = reader.Next();
  if (IsWord(piece, {"distinct", "top"})) return std::nullopt;
  while (!(reader.depth() == 0 && oleaut::SameName(piece, "from"))) {
    if (piece.empty()) return std::nullopt;
    piece = reader.Next();
  }
  const std::string_view table = reader.Name();
  if (table.empty()) return std::nullopt;
  if (!reader.AtEnd() && !IsWord(reader.Next(), {"where", "order", "limit"})) return std::nullopt;
  while (!reader.AtEnd()) {
    piece = reader.Next();
    if (piece.empty()) return std::nullopt;
    if (reader.depth() == 0 && IsWord(piece, {"group", "having", "union", "intersect", "except", "join"}))
      return std::nullopt;
  }
  return std::string(table);
}

RecordEdits::RecordEdits(std::shared_ptr<Session> session, std::string table, const std::vector<Column>& columns)
    : session_(std::move(session)), table_(std::move(table)) {
  for (const Column& column : columns) names_.push_back(column.description.name);
  const DriverConnection& driver = session_->Driver();
  quote_ = driver.InfoText(SQL_IDENTIFIER_QUOTE_CHAR);
  if (quote_ == " ") quote_.clear();
  const std::string dbms = driver.InfoText(SQL_DBMS_NAME);
  readBack_ = oleaut::SameName(dbms, "PostgreSQL") ? ReadBack::Returning
              : oleaut::SameName(dbms, "SQLite")   ? ReadBack::LastRowid
                                                   : ReadBack::None;
}

bool RecordEdits::HasKey() {
  if (key_) return !key_->empty();
  const auto find = [&](const std::string& table) {
    std::vector<std::string> names;
    Statement statement(session_->Driver(), "ADODB.Recordset");
    statement.PrimaryKeys(table);
    ColumnReader reader;
    while (statement.Fetch()) {
      const Variant name = reader.Read(statement, 4, SQL_VARCHAR);
      if (const auto* text = name.If<std::string>()) names.push_back(*text);
    }
    return names;
  };
  const std::string table = Unquoted(table_);
  std::vector<std::string> names = find(table);
  // An unquoted name some databases (PostgreSQL) keep in lower case.
  if (names.empty() && !IsNameQuote(table_.back()) && Lowered(table) != table) names = find(Lowered(table));
  std::vector<std::size_t> key;
  for (const std::string& name : names) {
    const auto at = std::ranges::find_if(names_, [&](const std::string& n) { return oleaut::SameName(n, name); });
    if (at == names_.end()) {
      key.clear();
      break;
    }
    key.push_back(static_cast<std::size_t>(at - names_.begin()));
  }
  key_ = std::move(key);
  return !key_->empty();
}

std::string RecordEdits::Quoted(std::size_t column) const {
  const std::string& name = names_[column];
  if (quote_.empty()) return name;
  std::string quoted = quote_;
  for (const char c : name) {
    if (quote_.find(c) != std::string::npos) quoted += c;
    quoted += c;
  }
  return quoted + quote_;
}

std::string RecordEdits::KeyCondition(std::span<const Variant> row, std::vector<Variant>& parameters) {
  if (!HasKey()) RaiseAdo(kNotCapable, "ADODB.Recordset");
  std::string condition;
  for (const std::size_t k : *key_) {
    condition += condition.empty() ? " WHERE " : " AND ";
    condition += Quoted(k) + " = ?";
    parameters.push_back(row[k]);
  }
  return condition;
}

void RecordEdits::ChangeOne(const std::string& sql, const std::vector<Variant>& parameters) {
  CursorOptions options;
  const Cursor::Result result = Cursor::Execute(session_, sql, parameters, options);
  if (result.recordsAffected == 0) RaiseAdo(kRowNotFound, "ADODB.Recordset");
}

void RecordEdits::Insert(std::vector<Variant>& row, const std::vector<bool>& assigned) {
  std::string names;
  std::string markers;
  std::vector<Variant> parameters;
  for (std::size_t c = 0; c < row.size(); ++c) {
    if (!assigned[c]) continue;
    if (!names.empty()) {
      names += ", ";
      markers += ", ";
    }
    names += Quoted(c);
    markers += '?';
    parameters.push_back(row[c]);
  }
  std::string sql =
      "INSERT INTO " + table_ + (names.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + markers + ")");
  std::vector<std::size_t> back;
  if (readBack_ != ReadBack::None && HasKey())
    std::ranges::copy_if(*key_, std::back_inserter(back), [&](std::size_t k) { return !assigned[k]; });
  std::string columns;
  for (const std::size_t k : back) columns += (columns.empty() ? "" : ", ") + Quoted(k);
  if (readBack_ == ReadBack::Returning && !back.empty()) sql += " RETURNING " + columns;
  CursorOptions options;
  options.buffered = true;
  Cursor::Result result = Cursor::Execute(session_, sql, parameters, options);
  if (readBack_ == ReadBack::LastRowid && !back.empty())
    result = Cursor::Execute(session_, "SELECT " + columns + " FROM " + table_ + " WHERE rowid = last_insert_rowid()",
                             {}, options);
  if (result.cursor == nullptr) return;
  if (!result.cursor->AtEnd())
    for (std::size_t i = 0; i < back.size(); ++i) row[back[i]] = result.cursor->Value(i);
  result.cursor->Close();
}

void RecordEdits::Update(std::span<const Variant> before, std::span<const Variant> after,
                         const std::vector<bool>& assigned) {
  std::string sets;
  std::vector<Variant> parameters;
  for (std::size_t c = 0; c < after.size(); ++c) {
    if (!assigned[c]) continue;
    if (!sets.empty()) sets += ", ";
    sets += Quoted(c) + " = ?";
    parameters.push_back(after[c]);
  }
  if (sets.empty()) return;
  std::string sql = "UPDATE " + table_ + " SET " + sets;
  sql += KeyCondition(before, parameters);
  ChangeOne(sql, parameters);
}

void RecordEdits::Delete(std::span<const Variant> row) {
  std::vector<Variant> parameters;
  std::string sql = "DELETE FROM " + table_;
  sql += KeyCondition(row, parameters);
  ChangeOne(sql, parameters);
}

}  // namespace kelvane::host::adodb
