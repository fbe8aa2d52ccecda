#include "host/objects/adodb/Cursor.h"

#include <algorithm>

#include "host/objects/adodb/AdoErrors.h"
#include "host/pages/PageDeadline.h"

namespace kelvane::host::adodb {

using oleaut::Variant;

namespace {

constexpr const char* kRecordset = "ADODB.Recordset";

}  // namespace

Cursor::Result Cursor::Execute(const std::shared_ptr<Session>& session, std::string_view sql,
                               const std::vector<Variant>& parameters, const CursorOptions& options) {
  auto statement = std::make_unique<Statement>(session->Driver(), options.source);
  const auto timeout = options.timeout.value_or(session->commandTimeout);
  if (timeout.count() > 0) statement->SetQueryTimeout(timeout);
  ParameterBinding binding;
  if (!parameters.empty()) binding.Bind(*statement, parameters);
  statement->Execute(sql);
  Result result;
  const SQLSMALLINT count = statement->ColumnCount();
  if (count == 0) {
    result.recordsAffected = statement->RowCount();
    return result;
  }
  std::vector<Column> columns;
  columns.reserve(static_cast<std::size_t>(count));
  for (SQLSMALLINT c = 1; c <= count; ++c) {
    ColumnDescription description = statement->DescribeColumn(static_cast<SQLUSMALLINT>(c));
    const std::int32_t type = AdoTypeOf(description.sqlType);
    columns.push_back({std::move(description), type});
  }
  result.cursor = std::make_shared<Cursor>(session, std::move(statement), std::move(columns), options);
  session->Track(result.cursor);
  return result;
}

Cursor::Cursor(std::shared_ptr<Session> session, std::unique_ptr<Statement> statement, std::vector<Column> columns,
               const CursorOptions& options)
    : session_(std::move(session)), statement_(std::move(statement)), columns_(std::move(columns)), options_(options) {
  if (options_.buffered) {
    FetchAll();
  } else {
    atEnd_ = !FetchRow();
  }
}

void Cursor::Close() noexcept {
  open_ = false;
  statement_.reset();
  std::vector<Variant> cells = std::move(cells_);
  std::vector<Variant> row = std::move(row_);
  cells_.clear();
  row_.clear();
  rows_ = 0;
}

void Cursor::CheckOpen() const {
  if (!open_) RaiseAdo(kObjectClosed, kRecordset);
}

const std::vector<Column>& Cursor::Columns() const {
  CheckOpen();
  return columns_;
}

bool Cursor::FetchRow() {
  if ((options_.maxRecords > 0 && fetched_ >= options_.maxRecords) || !statement_->Fetch()) {
    // Nothing more: the statement's resources go now, not with the page.
    statement_.reset();
    return false;
  }
  row_.clear();
  for (std::size_t c = 0; c < columns_.size(); ++c)
    row_.push_back(reader_.Read(*statement_, static_cast<SQLUSMALLINT>(c + 1), columns_[c].description.sqlType));
  ++fetched_;
  return true;
}

void Cursor::FetchAll() {
  DeadlineTicker<256> ticker;
  while ((options_.maxRecords == 0 || rows_ < options_.maxRecords) && statement_->Fetch()) {
    ticker.Tick();
    for (std::size_t c = 0; c < columns_.size(); ++c)
      cells_.push_back(reader_.Read(*statement_, static_cast<SQLUSMALLINT>(c + 1), columns_[c].description.sqlType));
    ++rows_;
  }
  statement_.reset();
  position_ = 0;
}

bool Cursor::AtEnd() const {
  CheckOpen();
  return options_.buffered ? position_ >= rows_ : atEnd_;
}

bool Cursor::AtStart() const {
  CheckOpen();
  // A streamed cursor is before its first row only when it has none.
  return options_.buffered ? position_ < 0 || rows_ == 0 : atEnd_ && fetched_ == 0;
}

const Variant& Cursor::Value(std::size_t column) const {
  if (AtEnd() || AtStart()) RaiseAdo(kNoCurrentRecord, kRecordset);
  if (options_.buffered) return cells_[static_cast<std::size_t>(position_) * columns_.size() + column];
  return row_[column];
}

std::int64_t Cursor::RecordCount() const {
  CheckOpen();
  return options_.buffered ? rows_ : -1;
}

std::int64_t Cursor::Position() const {
  RequireHeld();
  return position_;
}

void Cursor::RequireHeld() const {
  CheckOpen();
  if (!options_.buffered) RaiseAdo(kNotCapable, kRecordset);
}

void Cursor::MoveNext() {
  if (AtEnd()) RaiseAdo(kNoCurrentRecord, kRecordset);
  if (options_.buffered)
    ++position_;
  else
    atEnd_ = !FetchRow();
}

void Cursor::MovePrevious() {
  CheckOpen();
  if (!options_.buffered) RaiseAdo(kCannotFetchBackward, kRecordset);
  if (AtStart()) RaiseAdo(kNoCurrentRecord, kRecordset);
  --position_;
}

void Cursor::MoveFirst() {
  CheckOpen();
  if (!options_.buffered) {
    // A stream can only stay where it starts.
    if (fetched_ > 1) RaiseAdo(kCannotRestart, kRecordset);
    return;
  }
  if (rows_ == 0) RaiseAdo(kNoCurrentRecord, kRecordset);
  position_ = 0;
}

void Cursor::MoveLast() {
  CheckOpen();
  if (!options_.buffered) RaiseAdo(kCannotFetchBackward, kRecordset);
  if (rows_ == 0) RaiseAdo(kNoCurrentRecord, kRecordset);
  position_ = rows_ - 1;
}

void Cursor::Move(std::int64_t records) {
  CheckOpen();
  if (records == 0) {
    if (AtEnd() || AtStart()) RaiseAdo(kNoCurrentRecord, kRecordset);
    return;
  }
  if (!options_.buffered) {
    if (records < 0) RaiseAdo(kCannotFetchBackward, kRecordset);
    if (atEnd_) RaiseAdo(kNoCurrentRecord, kRecordset);
    for (; records > 0 && !atEnd_; --records) atEnd_ = !FetchRow();
    return;
  }
  if ((records > 0 && AtEnd()) || (records < 0 && AtStart())) RaiseAdo(kNoCurrentRecord, kRecordset);
  position_ = std::clamp<std::int64_t>(position_ + records, -1, rows_);
}

void Cursor::MoveTo(std::int64_t index) {
  RequireHeld();
  if (index < 0 || index >= rows_) RaiseAdo(kWrongArguments, kRecordset);
  position_ = index;
}

}  // namespace kelvane::host::adodb
