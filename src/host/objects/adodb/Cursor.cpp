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
  fetchedRows_ = 0;
  shown_.reset();
  gone_.clear();
  CancelEdit();
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
  fetchedRows_ = rows_;
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
  if (edit_ != Edit::None) return pending_[column];
  if (removed_ || AtEnd() || AtStart()) RaiseAdo(kNoCurrentRecord, kRecordset);
  if (options_.buffered) return Row(HeldIndex())[column];
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
  if (removed_) {
    // The record after the one deleted already stands where it stood.
    Moved();
    return;
  }
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
  Moved();
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
  Moved();
  position_ = 0;
}

void Cursor::MoveLast() {
  CheckOpen();
  if (!options_.buffered) RaiseAdo(kCannotFetchBackward, kRecordset);
  if (rows_ == 0) RaiseAdo(kNoCurrentRecord, kRecordset);
  Moved();
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
  // From a record just deleted, the next one is a step away already.
  if (removed_ && records > 0) --records;
  Moved();
  position_ = std::clamp<std::int64_t>(position_ + records, -1, rows_);
}

void Cursor::MoveTo(std::int64_t index) {
  RequireHeld();
  if (index < 0 || index >= rows_) RaiseAdo(kWrongArguments, kRecordset);
  Moved();
  position_ = index;
}

std::span<const Variant> Cursor::Row(std::int64_t index) const {
  return std::span<const Variant>(cells_).subspan(static_cast<std::size_t>(index) * columns_.size(), columns_.size());
}

std::int64_t Cursor::HeldIndex() const {
  return shown_ ? (*shown_)[static_cast<std::size_t>(position_)] : position_;
}

void Cursor::Arrange(const RecordFilter* filter, const RecordOrder* order) {
  RequireHeld();
  Moved();
  if (filter == nullptr && order == nullptr && gone_.empty()) {
    shown_.reset();
    rows_ = fetchedRows_;
  } else {
    std::vector<std::int64_t> shown;
    DeadlineTicker<256> ticker;
    for (std::int64_t row = 0; row < fetchedRows_; ++row) {
      ticker.Tick();
      if (!gone_.empty() && gone_[static_cast<std::size_t>(row)]) continue;
      if (filter == nullptr || filter->Passes(Row(row))) shown.push_back(row);
    }
    if (order != nullptr)
      std::ranges::stable_sort(shown, [&](std::int64_t a, std::int64_t b) { return order->Before(Row(a), Row(b)); });
    rows_ = static_cast<std::int64_t>(shown.size());
    shown_ = std::move(shown);
  }
  position_ = 0;
}

void Cursor::BeginAdd() {
  if (!editable_) RaiseAdo(kNotCapable, kRecordset);
  pending_.assign(columns_.size(), Variant::Null());
  assigned_.assign(columns_.size(), false);
  edit_ = Edit::Add;
}

void Cursor::Assign(std::size_t column, Variant value) {
  CheckOpen();
  if (!editable_) RaiseAdo(kNotCapable, kRecordset);
  if (edit_ == Edit::None) {
    const std::span<const Variant> row = Current();
    pending_.assign(row.begin(), row.end());
    assigned_.assign(columns_.size(), false);
    edit_ = Edit::Change;
  }
  pending_[column] = std::move(value);
  assigned_[column] = true;
}

std::span<const Variant> Cursor::Current() const {
  if (removed_ || AtEnd() || AtStart()) RaiseAdo(kNoCurrentRecord, kRecordset);
  RequireHeld();
  return Row(HeldIndex());
}

void Cursor::Store() {
  if (edit_ == Edit::Change) {
    const auto held = static_cast<std::ptrdiff_t>(static_cast<std::size_t>(HeldIndex()) * columns_.size());
    std::ranges::move(pending_, cells_.begin() + held);
  } else if (edit_ == Edit::Add) {
    std::ranges::move(pending_, std::back_inserter(cells_));
    if (!gone_.empty()) gone_.push_back(false);
    if (shown_) shown_->push_back(fetchedRows_);
    ++fetchedRows_;
    position_ = rows_++;
  }
  CancelEdit();
}

void Cursor::CancelEdit() {
  edit_ = Edit::None;
  pending_.clear();
  assigned_.clear();
}

void Cursor::RemoveCurrent() {
  Current();
  const std::int64_t held = HeldIndex();
  if (gone_.empty()) gone_.assign(static_cast<std::size_t>(fetchedRows_), false);
  gone_[static_cast<std::size_t>(held)] = true;
  if (shown_) {
    shown_->erase(shown_->begin() + position_);
  } else {
    std::vector<std::int64_t> shown;
    for (std::int64_t row = 0; row < fetchedRows_; ++row)
      if (!gone_[static_cast<std::size_t>(row)]) shown.push_back(row);
    shown_ = std::move(shown);
  }
  --rows_;
  removed_ = true;
}

}  // namespace kelvane::host::adodb
