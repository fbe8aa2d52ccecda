#include "host/objects/adodb/Recordset.h"

#include "host/objects/adodb/ActiveConnection.h"
#include "host/objects/adodb/AdoErrors.h"
#include "host/objects/adodb/Command.h"
#include "host/objects/adodb/Connection.h"
#include "host/objects/adodb/Fields.h"
#include "host/objects/adodb/Members.h"
#include "host/objects/adodb/RecordEdits.h"
#include "host/objects/adodb/RecordFilter.h"
#include "host/pages/PageDeadline.h"
#include "platform/complus/ObjectContext.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host::adodb {

namespace {

using namespace oleaut;

constexpr const char* kRecordset = "ADODB.Recordset";

enum CursorType : Long { adOpenForwardOnly = 0, adOpenStatic = 3 };
enum LockType : Long { adLockReadOnly = 1 };
// What a held cursor over one table with a key supports besides.
enum CursorOption : Long { adAddNew = 0x1000400, adDelete = 0x1000800, adUpdate = 0x1008000 };
enum AffectEnum : Long { adAffectCurrent = 1 };
enum Position : Long { adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3 };
enum FilterGroup : Long { adFilterNone = 0 };
enum Bookmark : Long { adBookmarkCurrent = 0, adBookmarkFirst = 1, adBookmarkLast = 2 };
// What a cursor that holds its rows supports: adHoldRecords,
// adMovePrevious, adBookmark, adApproxPosition.
constexpr Long kHeldSupports = 0x100 | 0x200 | 0x2000 | 0x4000;

enum Member : DISPID {
  kFields = DISPID_VALUE, kOpen = 1, kClose, kEOF, kBOF, kMoveNext, kMovePrevious, kMoveFirst, kMoveLast, kMove,
  kRecordCount, kPageSize, kPageCount, kAbsolutePage, kAbsolutePosition, kGetRows, kGetString, kState,
  kCursorLocation, kCursorType, kLockType, kMaxRecords, kSource, kActiveConnection, kSupports, kFilter, kSort,
  kAddNew, kUpdate, kCancelUpdate, kDelete, kEditMode,
};

const InterfaceDesc& Description() {
  static const InterfaceDesc description = DescribeMembers(
      "Recordset",
      {{kFields, "Fields", false}, {kOpen, "Open", true}, {kClose, "Close", true}, {kEOF, "EOF", false},
       {kBOF, "BOF", false}, {kMoveNext, "MoveNext", true}, {kMovePrevious, "MovePrevious", true},
       {kMoveFirst, "MoveFirst", true}, {kMoveLast, "MoveLast", true}, {kMove, "Move", true},
       {kRecordCount, "RecordCount", false}, {kPageSize, "PageSize", false}, {kPageCount, "PageCount", false},
       {kAbsolutePage, "AbsolutePage", false}, {kAbsolutePosition, "AbsolutePosition", false},
       {kGetRows, "GetRows", true}, {kGetString, "GetString", true}, {kState, "State", false},
       {kCursorLocation, "CursorLocation", false}, {kCursorType, "CursorType", false},
       {kLockType, "LockType", false}, {kMaxRecords, "MaxRecords", false}, {kSource, "Source", false},
       {kActiveConnection, "ActiveConnection", false}, {kSupports, "Supports", true}, {kFilter, "Filter", false},
       {kSort, "Sort", false}, {kAddNew, "AddNew", true}, {kUpdate, "Update", true},
       {kCancelUpdate, "CancelUpdate", true}, {kDelete, "Delete", true}, {kEditMode, "EditMode", false}});
  return description;
}

class Recordset : public IDispatch, public complus::ObjectControl {
 public:
  Recordset() = default;
  Recordset(std::shared_ptr<Cursor> cursor, std::shared_ptr<ConnectionObject> connection, std::string source)
      : source_(std::move(source)) {
    connection_.Set(std::move(connection));
    if (cursor != nullptr) Attach(std::move(cursor));
  }

  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return FindMember(Description(), name); }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    try {
      return Call(id, IsPut(kind), args);
    } catch (const DatabaseError& error) {
      connection_.Record(error);
      throw;
    }
  }

  void Activate() override {}
  void Deactivate() override {
    if (cursor_ != nullptr) Close();
    connection_.Release();
  }
  VariantBool CanBePooled() override { return VariantBool::False; }

 private:
  Cursor& Open() const {
    if (cursor_ == nullptr) RaiseAdo(kObjectClosed, kRecordset);
    return *cursor_;
  }

  void RequireClosed() const {
    if (cursor_ != nullptr) RaiseAdo(kObjectOpen, kRecordset);
  }

  void Attach(std::shared_ptr<Cursor> cursor) {
    fields_ = std::make_shared<FieldsCollection>(cursor);
    cursorType_ = cursor->Buffered() ? adOpenStatic : adOpenForwardOnly;
    if (cursor->Buffered() && lockType_ != adLockReadOnly) cursor->AllowEdits();
    cursor_ = std::move(cursor);
  }

  Variant Call(DISPID id, bool put, std::span<const Variant> args) {
    if (put) return Put(id, args);
    switch (id) {
      case kFields:
        ExpectArgs(args, 0, 1);
        Open();
        return args.empty() ? Variant(ObjectRef(fields_)) : fields_->Item(args[0]);
      case kOpen: ExpectArgs(args, 0, 5); OpenSource(args); return {};
      case kClose: ExpectArgs(args, 0, 0); Close(); return {};
      case kEOF: return ToVariantBool(Open().AtEnd());
      case kBOF: return ToVariantBool(Open().AtStart());
      case kMoveNext: Finished().MoveNext(); return {};
      case kMovePrevious: Finished().MovePrevious(); return {};
      case kMoveFirst: Finished().MoveFirst(); return {};
      case kMoveLast: Finished().MoveLast(); return {};
      case kMove: ExpectArgs(args, 1, 2); Finished(); MoveFrom(args); return {};
      case kRecordCount: return static_cast<Long>(Open().RecordCount());
      case kPageSize: return pageSize_;
      case kPageCount: {
        const std::int64_t count = Open().RecordCount();
        return count < 0 ? Long{adPosUnknown} : static_cast<Long>((count + pageSize_ - 1) / pageSize_);
      }
      case kAbsolutePage:
      case kAbsolutePosition: return Where(id == kAbsolutePage ? pageSize_ : 1);
      case kGetRows: ExpectArgs(args, 0, 3); return GetRows(args);
      case kGetString: ExpectArgs(args, 0, 5); return GetString(args);
      case kState: return Long{cursor_ != nullptr && cursor_->IsOpen() ? 1 : 0};
      case kCursorLocation: return cursorLocation_;
      case kCursorType: return cursorType_;
      case kLockType: return lockType_;
      case kMaxRecords: return maxRecords_;
      case kSource: return source_;
      case kActiveConnection: return connection_.Value();
      case kSupports: {
        ExpectArgs(args, 1, 1);
        const Long wanted = VariantTo<Long>(args[0]);
        return ToVariantBool((wanted & ~Supported()) == 0);
      }
      case kAddNew: ExpectArgs(args, 0, 2); AddNew(args); return {};
      case kUpdate: ExpectArgs(args, 0, 2); Update(args); return {};
      case kCancelUpdate: ExpectArgs(args, 0, 0); Open().CancelEdit(); return {};
      case kDelete: ExpectArgs(args, 0, 1); Delete(args); return {};
      case kEditMode: return static_cast<Long>(Open().Editing());
      case kFilter: return filterText_.empty() ? Variant(Long{adFilterNone}) : Variant(filterText_);
      case kSort: return sortText_;
      default: RaiseRuntimeError(kMemberNotFound);
    }
  }

  Variant Put(DISPID id, std::span<const Variant> args) {
    if (id == kFields) {
      // rs("name") = value
      Open();
      fields_->Assign(args);
      return {};
    }
    ExpectArgs(args, 1, 1);
    const Variant& value = args[0];
    const auto positive = [&] {
      const Long n = VariantTo<Long>(value);
      if (n < 1) RaiseAdo(kWrongArguments, kRecordset);
      return n;
    };
    switch (id) {
      case kPageSize: pageSize_ = positive(); return {};
      case kAbsolutePage: Open().MoveTo((static_cast<std::int64_t>(positive()) - 1) * pageSize_); return {};
      case kAbsolutePosition: Open().MoveTo(positive() - 1); return {};
      case kCursorLocation: RequireClosed(); cursorLocation_ = CheckedLocation(value); return {};
      case kCursorType: RequireClosed(); cursorType_ = VariantTo<Long>(value); return {};
      case kLockType: RequireClosed(); lockType_ = VariantTo<Long>(value); return {};
      case kMaxRecords: RequireClosed(); maxRecords_ = std::max<Long>(0, VariantTo<Long>(value)); return {};
      case kSource: RequireClosed(); source_ = VariantTo<std::string>(value); return {};
      case kActiveConnection: RequireClosed(); connection_.Set(value); return {};
      case kFilter: SetFilter(value); return {};
      case kSort: SetSort(VariantTo<std::string>(value)); return {};
      default: RaiseRuntimeError(kMemberNotFound);
    }
  }

  // Criteria text, or adFilterNone (0) or "" for every row.
  void SetFilter(const Variant& given) {
    const Variant value = ValueOf(given);
    std::string text;
    if (const auto* criteria = value.If<std::string>()) {
      text = *criteria;
    } else if (VariantTo<Long>(value) != adFilterNone) {
      RaiseAdo(kWrongArguments, kRecordset);
    }
    std::optional<RecordFilter> filter;
    if (text.find_first_not_of(" \t") != std::string::npos) filter = RecordFilter::Parse(text, Lookup());
    else text.clear();
    Arrange(filter ? &*filter : nullptr, order_ ? &*order_ : nullptr);
    filter_ = std::move(filter);
    filterText_ = std::move(text);
  }

  void SetSort(std::string text) {
    std::optional<RecordOrder> order = RecordOrder::Parse(text, Lookup());
    if (order->Empty()) order.reset();
    Arrange(filter_ ? &*filter_ : nullptr, order ? &*order : nullptr);
    order_ = std::move(order);
    sortText_ = std::move(text);
  }

  void Arrange(const RecordFilter* filter, const RecordOrder* order) {
    Cursor& cursor = Finished();
    if (!cursor.Buffered()) RaiseAdo(kNotCapable, kRecordset);
    cursor.Arrange(filter, order);
  }

  FieldLookup Lookup() const {
    Open();
    return [fields = fields_](std::string_view name) { return fields->IndexOf(Variant(std::string(name))); };
  }

  Long Supported() {
    const Cursor& cursor = Open();
    if (!cursor.Buffered()) return 0;
    RecordEdits* edits = Edits();
    if (edits == nullptr) return kHeldSupports;
    return kHeldSupports | adAddNew | (edits->HasKey() ? adUpdate | adDelete : 0);
  }

  // The statements for edits of this recordset's rows; nullptr where its
  // lock type is read-only, its rows stream, or its SQL reads no one table.
  RecordEdits* Edits() {
    Cursor& cursor = Open();
    if (edits_ == nullptr && cursor.Editable()) {
      if (auto table = BaseTable(sql_))
        edits_ = std::make_unique<RecordEdits>(cursor.session(), std::move(*table), cursor.Columns());
    }
    return edits_.get();
  }

  RecordEdits& RequireEdits() {
    RecordEdits* edits = Edits();
    if (edits == nullptr) RaiseAdo(kNotCapable, kRecordset);
    return *edits;
  }

  // The cursor with its edit, if one is open, written back first: ADO
  // stores an edit when the page moves on from it.
  Cursor& Finished() {
    Cursor& cursor = Open();
    if (cursor.Editing() != Cursor::Edit::None) Store(cursor);
    return cursor;
  }

  void Store(Cursor& cursor) {
    RecordEdits& edits = RequireEdits();
    if (cursor.Editing() == Cursor::Edit::Add)
      edits.Insert(cursor.Pending(), cursor.Assigned());
    else
      edits.Update(cursor.Current(), cursor.Pending(), cursor.Assigned());
    cursor.Store();
  }

  // Assigns values to fields: a field and its value, or an array of
  // fields and one of values.
  void AssignAll(std::span<const Variant> args) {
    if (!Given(args, 0)) return;
    if (!Given(args, 1)) RaiseAdo(kWrongArguments, kRecordset);
    const Variant fields = ValueOf(args[0]);
    const Variant given = ValueOf(args[1]);
    const auto* names = fields.If<ArrayRef>();
    const auto* values = given.If<ArrayRef>();
    if ((names == nullptr) != (values == nullptr)) RaiseAdo(kWrongArguments, kRecordset);
    if (names == nullptr) {
      fields_->Assign(args);
      return;
    }
    const auto& keys = (*names)->elements;
    if (keys.size() != (*values)->elements.size()) RaiseAdo(kWrongArguments, kRecordset);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const Variant pair[] = {keys[i], (*values)->elements[i]};
      fields_->Assign(pair);
    }
  }

  void AddNew(std::span<const Variant> args) {
    Cursor& cursor = Finished();
    RequireEdits();
    cursor.BeginAdd();
    AssignAll(args);
    if (Given(args, 0)) Store(cursor);
  }

  void Update(std::span<const Variant> args) {
    Cursor& cursor = Open();
    AssignAll(args);
    if (cursor.Editing() != Cursor::Edit::None) Store(cursor);
  }

  void Delete(std::span<const Variant> args) {
    if (Given(args, 0) && VariantTo<Long>(args[0]) != adAffectCurrent) RaiseAdo(kWrongArguments, kRecordset);
    Cursor& cursor = Open();
    RecordEdits& edits = RequireEdits();
    if (cursor.Editing() == Cursor::Edit::Add) {
      cursor.CancelEdit();
      return;
    }
    cursor.CancelEdit();
    edits.Delete(cursor.Current());
    cursor.RemoveCurrent();
  }

  static Long CheckedLocation(const Variant& value) {
    const Long location = VariantTo<Long>(value);
    if (location != adUseServer && location != adUseClient) RaiseAdo(kWrongArguments, kRecordset);
    return location;
  }

  // AbsolutePosition (per 1) and AbsolutePage (per page size).
  Variant Where(Long per) const {
    const Cursor& cursor = Open();
    if (!cursor.Buffered()) return Long{adPosUnknown};
    if (cursor.AtStart()) return Long{adPosBOF};
    if (cursor.AtEnd()) return Long{adPosEOF};
    return static_cast<Long>(cursor.Position() / per + 1);
  }

  void OpenSource(std::span<const Variant> args) {
    RequireClosed();
    CommandRun run;
    const ObjectRef sourceObject = Given(args, 0) && args[0].IsObject() ? ToObject(args[0]) : nullptr;
    auto* command = dynamic_cast<CommandObject*>(sourceObject.get());
    if (command != nullptr) {
      run = command->Run(Variant::Missing());
      connection_.Set(run.connection);
      source_ = run.sql;
    } else if (Given(args, 0)) {
      source_ = VariantTo<std::string>(args[0]);
    }
    if (command == nullptr && Given(args, 1)) connection_.Set(args[1]);
    if (Given(args, 2)) cursorType_ = VariantTo<Long>(args[2]);
    if (Given(args, 3)) lockType_ = VariantTo<Long>(args[3]);
    if (command == nullptr)
      run.sql = CommandSql(source_, Given(args, 4) ? VariantTo<Long>(args[4]) & 0xFF : adCmdUnknown);
    sql_ = run.sql;
    ConnectionObject& connection = *connection_.Get();
    const bool client = cursorLocation_ == adUseClient || connection.cursorLocation() == adUseClient;
    CursorOptions options;
    options.buffered = client || cursorType_ != adOpenForwardOnly;
    options.maxRecords = maxRecords_;
    auto result = Cursor::Execute(connection.OpenSession(), run.sql, run.parameters, options);
    // A statement that gives no rows leaves the recordset closed.
    if (result.cursor != nullptr) Attach(std::move(result.cursor));
  }

  void Close() {
    Open().Close();
    cursor_.reset();
    fields_.reset();
    edits_.reset();
    filter_.reset();
    order_.reset();
    filterText_.clear();
    sortText_.clear();
    connection_.Release();
  }

  void MoveFrom(std::span<const Variant> args) {
    Cursor& cursor = Open();
    const Long records = VariantTo<Long>(args[0]);
    if (Given(args, 1)) Start(cursor, VariantTo<Long>(args[1]));
    cursor.Move(records);
  }

  // Moves to the bookmark a page may name to start from.
  static void Start(Cursor& cursor, Long bookmark) {
    switch (bookmark) {
      case adBookmarkCurrent: return;
      case adBookmarkFirst: cursor.MoveFirst(); return;
      case adBookmarkLast: cursor.MoveLast(); return;
      default: RaiseAdo(kWrongArguments, kRecordset);
    }
  }

  // The fields a GetRows names: all, one, or an array of names or ordinals.
  std::vector<std::size_t> ChosenFields(std::span<const Variant> args) const {
    std::vector<std::size_t> chosen;
    if (!Given(args, 2)) {
      for (std::size_t i = 0; i < cursor_->Columns().size(); ++i) chosen.push_back(i);
    } else if (const auto* array = args[2].If<ArrayRef>()) {
      for (const Variant& key : (*array)->elements) chosen.push_back(fields_->IndexOf(key));
    } else {
      chosen.push_back(fields_->IndexOf(args[2]));
    }
    return chosen;
  }

  // How many rows a call asks for: -1 or left out for all.
  static std::int64_t RowsWanted(std::span<const Variant> args, std::size_t index) {
    if (!Given(args, index)) return -1;
    const Long rows = VariantTo<Long>(args[index]);
    if (rows < -1) RaiseAdo(kWrongArguments, kRecordset);
    return rows;
  }

  Variant GetRows(std::span<const Variant> args) {
    Cursor& cursor = Open();
    std::int64_t wanted = RowsWanted(args, 0);
    if (Given(args, 1)) Start(cursor, VariantTo<Long>(args[1]));
    const std::vector<std::size_t> chosen = ChosenFields(args);
    if (cursor.AtEnd() || cursor.AtStart()) RaiseAdo(kNoCurrentRecord, kRecordset);
    auto array = std::make_shared<SafeArray>();
    std::size_t rows = 0;
    DeadlineTicker<256> ticker;
    for (; wanted != 0 && !cursor.AtEnd(); --wanted, ++rows) {
      ticker.Tick();
      for (const std::size_t field : chosen) array->elements.push_back(cursor.Value(field));
      cursor.MoveNext();
    }
    array->shape = {chosen.size(), rows};
    return ArrayRef(std::move(array));
  }

  Variant GetString(std::span<const Variant> args) {
    Cursor& cursor = Open();
    constexpr Long adClipString = 2;
    if (Given(args, 0) && VariantTo<Long>(args[0]) != adClipString) RaiseAdo(kWrongArguments, kRecordset);
    std::int64_t wanted = RowsWanted(args, 1);
    const std::string columnDelimiter = Given(args, 2) ? VariantTo<std::string>(args[2]) : "\t";
    const std::string rowDelimiter = Given(args, 3) ? VariantTo<std::string>(args[3]) : "\r";
    const std::string nullText = Given(args, 4) ? VariantTo<std::string>(args[4]) : "";
    if (cursor.AtEnd() || cursor.AtStart()) RaiseAdo(kNoCurrentRecord, kRecordset);
    const std::size_t count = cursor.Columns().size();
    std::string text;
    DeadlineTicker<256> ticker;
    for (; wanted != 0 && !cursor.AtEnd(); --wanted) {
      ticker.Tick();
      for (std::size_t c = 0; c < count; ++c) {
        if (c > 0) text += columnDelimiter;
        const Variant& value = cursor.Value(c);
        text += value.IsNull() ? nullText : ToString(value);
      }
      text += rowDelimiter;
      cursor.MoveNext();
    }
    return text;
  }

  std::shared_ptr<Cursor> cursor_;
  std::shared_ptr<FieldsCollection> fields_;
  ActiveConnection connection_{kRecordset};
  std::string source_;
  std::string sql_;  // what the driver ran
  std::unique_ptr<RecordEdits> edits_;
  std::optional<RecordFilter> filter_;
  std::optional<RecordOrder> order_;
  std::string filterText_;
  std::string sortText_;
  Long cursorLocation_ = adUseServer;
  Long cursorType_ = adOpenForwardOnly;
  Long lockType_ = adLockReadOnly;
  Long maxRecords_ = 0;
  Long pageSize_ = 10;
};

}  // namespace

std::shared_ptr<IDispatch> CreateRecordset() { return std::make_shared<Recordset>(); }

std::shared_ptr<IDispatch> OpenedRecordset(std::shared_ptr<Cursor> cursor, std::shared_ptr<ConnectionObject> connection,
                                           std::string source) {
  return std::make_shared<Recordset>(std::move(cursor), std::move(connection), std::move(source));
}

}  // namespace kelvane::host::adodb
