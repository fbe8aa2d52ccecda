#pragma once
// The rows of one statement and the current record among them: streamed
// from the driver one at a time (forward only), or all fetched at once and
// held in memory (every other cursor), where they are charged to the page.

#include <cstdint>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "host/objects/adodb/Odbc.h"
#include "host/objects/adodb/RecordFilter.h"
#include "host/objects/adodb/Session.h"
#include "host/objects/adodb/Values.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host::adodb {

struct Column {
  ColumnDescription description;
  std::int32_t adoType = 0;
};

struct CursorOptions {
  bool buffered = false;        // hold every row; else stream forward only
  std::int64_t maxRecords = 0;  // rows to take at most; 0 all
  const char* source = "ADODB.Recordset";  // the object the statement's errors name
  std::optional<std::chrono::seconds> timeout;  // the statement's own; else the session's
};

class Cursor {
 public:
  // What running a statement gave: a cursor at its first row when it gives
  // rows, else none and the count of rows it changed (-1 unknown).
  struct Result {
    std::shared_ptr<Cursor> cursor;
    std::int64_t recordsAffected = -1;
  };

  // Runs `sql` with `parameters` bound in order, on `session`, under its
  // timeout and the page's deadline; the cursor closes with the session.
  static Result Execute(const std::shared_ptr<Session>& session, std::string_view sql,
                        const std::vector<oleaut::Variant>& parameters, const CursorOptions& options);

  Cursor(std::shared_ptr<Session> session, std::unique_ptr<Statement> statement, std::vector<Column> columns,
         const CursorOptions& options);

  bool IsOpen() const { return open_; }
  const std::shared_ptr<Session>& session() const { return session_; }
  // Lets go of the statement and the rows.
  void Close() noexcept;

  // These raise 3704 once the cursor is closed.
  const std::vector<Column>& Columns() const;
  bool Buffered() const { return options_.buffered; }
  bool AtEnd() const;    // EOF
  bool AtStart() const;  // BOF
  // Column `column` of the current record; 3021 when there is none.
  const oleaut::Variant& Value(std::size_t column) const;
  // The rows held; -1 while they stream.
  std::int64_t RecordCount() const;
  // The index of the current record (-1 before the first, RecordCount()
  // after the last); for held rows only.
  std::int64_t Position() const;

  // Movement as ADO moves: past either end is BOF or EOF, a move from
  // there further out is 3021; streamed rows move forward only.
  void MoveNext();
  void MovePrevious();
  void MoveFirst();
  void MoveLast();
  void Move(std::int64_t records);
  // Makes record `index` (0-based) current; 3001 outside the rows held.
  void MoveTo(std::int64_t index);

  // Shows of the held rows only those `filter` passes, in the order
  // `order` gives (ties as fetched); either may be null for all rows, as
  // fetched. The first record shown becomes current. 3251 for streamed rows.
  void Arrange(const RecordFilter* filter, const RecordOrder* order);

  // Edits of held rows, once allowed: a record changed or added is held
  // apart, and read as current, until it is stored or cancelled.
  enum class Edit : std::int32_t { None = 0, Change = 1, Add = 2 };  // ADO's EditMode
  void AllowEdits() { editable_ = true; }
  bool Editable() const { return editable_; }
  Edit Editing() const { return edit_; }
  // Begins a new record of Nulls, current until stored or cancelled.
  void BeginAdd();
  // Sets column `column` of the current record, beginning its change when
  // no edit is open: 3251 unless edits are allowed, 3021 with no record.
  void Assign(std::size_t column, oleaut::Variant value);
  // The current record as held, without the edit.
  std::span<const oleaut::Variant> Current() const;
  const std::vector<oleaut::Variant>& Pending() const { return pending_; }
  std::vector<oleaut::Variant>& Pending() { return pending_; }
  const std::vector<bool>& Assigned() const { return assigned_; }
  // Holds the edit as the current record (an added one after the rows shown).
  void Store();
  void CancelEdit();
  // Takes the current record out of the rows; it stays current, and gone,
  // until the cursor moves: MoveNext then goes to the one after it.
  void RemoveCurrent();

 private:
  void CheckOpen() const;
  // Fetches the next streamed row into row_; false past the last.
  bool FetchRow();
  void FetchAll();
  void RequireHeld() const;
  std::span<const oleaut::Variant> Row(std::int64_t index) const;
  std::int64_t HeldIndex() const;
  // Ends a move: the record just deleted is left behind.
  void Moved() { removed_ = false; }

  std::shared_ptr<Session> session_;
  std::unique_ptr<Statement> statement_;
  std::vector<Column> columns_;
  CursorOptions options_;
  ColumnReader reader_;
  bool open_ = true;
  // Held rows: every value, row after row.
  std::vector<oleaut::Variant> cells_;
  std::int64_t fetchedRows_ = 0;
  // The rows shown, by their index among those held, once arranged.
  std::optional<std::vector<std::int64_t>> shown_;
  std::int64_t rows_ = 0;  // how many are shown
  std::vector<bool> gone_;  // held rows deleted, by index; empty while none is
  bool removed_ = false;    // the current record was just deleted
  bool editable_ = false;
  Edit edit_ = Edit::None;
  std::vector<oleaut::Variant> pending_;
  std::vector<bool> assigned_;
  std::int64_t position_ = 0;
  // Streamed rows: the current one.
  std::vector<oleaut::Variant> row_;
  std::int64_t fetched_ = 0;
  bool atEnd_ = false;
};

}  // namespace kelvane::host::adodb
