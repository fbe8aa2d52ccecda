#pragma once
// The statements that write a held recordset's edits back to its table:
// INSERT, UPDATE and DELETE with every value a parameter, the table the
// one named by the recordset's SQL (a table's name, or SELECT ... FROM one
// table with no join, grouping or union), the rows found by the table's
// primary key as the driver gives it, names quoted with the driver's quote.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/objects/adodb/Cursor.h"
#include "host/objects/adodb/Session.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host::adodb {

// The one table `sql` reads, as written in it; nullopt for any other SQL.
std::optional<std::string> BaseTable(std::string_view sql);

class RecordEdits {
 public:
  RecordEdits(std::shared_ptr<Session> session, std::string table, const std::vector<Column>& columns);

  // Whether rows can be found again to be changed or deleted: every column
  // of the table's primary key is among the recordset's. Asks the driver once.
  bool HasKey();

  // Inserts the values of `row` whose column is `assigned`; the key columns
  // left unassigned are read back into `row` on SQLite and PostgreSQL.
  void Insert(std::vector<oleaut::Variant>& row, const std::vector<bool>& assigned);
  // Sets the `assigned` columns of the row `before` to their values in `after`.
  void Update(std::span<const oleaut::Variant> before, std::span<const oleaut::Variant> after,
              const std::vector<bool>& assigned);
  void Delete(std::span<const oleaut::Variant> row);

 private:
  std::string Quoted(std::size_t column) const;
  // " WHERE k1 = ? AND ..." with the key of `row` appended to `parameters`.
  std::string KeyCondition(std::span<const oleaut::Variant> row, std::vector<oleaut::Variant>& parameters);
  // Runs a statement that must change one row: -2147217864 when it changed none.
  void ChangeOne(const std::string& sql, const std::vector<oleaut::Variant>& parameters);

  std::shared_ptr<Session> session_;
  std::string table_;
  std::vector<std::string> names_;
  std::string quote_;
  // How the key of a row just inserted is learnt: INSERT ... RETURNING
  // (PostgreSQL), the row of last_insert_rowid() (SQLite), or not at all.
  enum class ReadBack { None, Returning, LastRowid } readBack_ = ReadBack::None;
  std::optional<std::vector<std::size_t>> key_;
};

}  // namespace kelvane::host::adodb
