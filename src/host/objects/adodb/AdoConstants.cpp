#include "host/objects/adodb/AdoConstants.h"

#include <algorithm>
#include <array>

namespace kelvane::host::adodb {

namespace {

constexpr char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool LessFolded(std::string_view a, std::string_view b) {
  return std::ranges::lexicographical_compare(a, b, {}, Lower, Lower);
}

// ADO 2.8's enumerations as adovbs.inc declares them, less the schema,
// record and event ones no object here has.
constexpr auto kConstants = std::to_array<AdoConstant>({
    // CursorTypeEnum
    {"adOpenUnspecified", -1}, {"adOpenForwardOnly", 0}, {"adOpenKeyset", 1}, {"adOpenDynamic", 2},
    {"adOpenStatic", 3},
    // CursorOptionEnum
    {"adHoldRecords", 0x100}, {"adMovePrevious", 0x200}, {"adAddNew", 0x1000400}, {"adDelete", 0x1000800},
    {"adUpdate", 0x1008000}, {"adBookmark", 0x2000}, {"adApproxPosition", 0x4000}, {"adUpdateBatch", 0x10000},
    {"adResync", 0x20000}, {"adNotify", 0x40000}, {"adFind", 0x80000}, {"adSeek", 0x400000},
    {"adIndex", 0x800000},
    // LockTypeEnum
    {"adLockUnspecified", -1}, {"adLockReadOnly", 1}, {"adLockPessimistic", 2}, {"adLockOptimistic", 3},
    {"adLockBatchOptimistic", 4},
    // ExecuteOptionEnum, ConnectOptionEnum
    {"adOptionUnspecified", -1}, {"adAsyncExecute", 0x10}, {"adAsyncFetch", 0x20},
    {"adAsyncFetchNonBlocking", 0x40}, {"adExecuteNoRecords", 0x80}, {"adExecuteStream", 0x400},
    {"adExecuteRecord", 0x800}, {"adConnectUnspecified", -1}, {"adAsyncConnect", 0x10},
    // ObjectStateEnum
    {"adStateClosed", 0}, {"adStateOpen", 1}, {"adStateConnecting", 2}, {"adStateExecuting", 4},
    {"adStateFetching", 8},
    // CursorLocationEnum
    {"adUseNone", 1}, {"adUseServer", 2}, {"adUseClient", 3}, {"adUseClientBatch", 3},
    // DataTypeEnum
    {"adEmpty", 0}, {"adTinyInt", 16}, {"adSmallInt", 2}, {"adInteger", 3}, {"adBigInt", 20},
    {"adUnsignedTinyInt", 17}, {"adUnsignedSmallInt", 18}, {"adUnsignedInt", 19}, {"adUnsignedBigInt", 21},
    {"adSingle", 4}, {"adDouble", 5}, {"adCurrency", 6}, {"adDecimal", 14}, {"adNumeric", 131},
    {"adBoolean", 11}, {"adError", 10}, {"adUserDefined", 132}, {"adVariant", 12}, {"adIDispatch", 9},
    {"adIUnknown", 13}, {"adGUID", 72}, {"adDate", 7}, {"adDBDate", 133}, {"adDBTime", 134},
    {"adDBTimeStamp", 135}, {"adBSTR", 8}, {"adChar", 129}, {"adVarChar", 200}, {"adLongVarChar", 201},
    {"adWChar", 130}, {"adVarWChar", 202}, {"adLongVarWChar", 203}, {"adBinary", 128}, {"adVarBinary", 204},
    {"adLongVarBinary", 205}, {"adChapter", 136}, {"adFileTime", 64}, {"adPropVariant", 138},
    {"adVarNumeric", 139}, {"adArray", 0x2000},
    // FieldAttributeEnum
    {"adFldUnspecified", -1}, {"adFldMayDefer", 2}, {"adFldUpdatable", 4}, {"adFldUnknownUpdatable", 8},
    {"adFldFixed", 0x10}, {"adFldIsNullable", 0x20}, {"adFldMayBeNull", 0x40}, {"adFldLong", 0x80},
    {"adFldRowID", 0x100}, {"adFldRowVersion", 0x200}, {"adFldCacheDeferred", 0x1000},
    {"adFldIsChapter", 0x2000}, {"adFldNegativeScale", 0x4000}, {"adFldKeyColumn", 0x8000},
    {"adFldIsRowURL", 0x10000}, {"adFldIsDefaultStream", 0x20000}, {"adFldIsCollection", 0x40000},
    // EditModeEnum
    {"adEditNone", 0}, {"adEditInProgress", 1}, {"adEditAdd", 2}, {"adEditDelete", 4},
    // RecordStatusEnum
    {"adRecOK", 0}, {"adRecNew", 1}, {"adRecModified", 2}, {"adRecDeleted", 4}, {"adRecUnmodified", 8},
    {"adRecInvalid", 0x10}, {"adRecMultipleChanges", 0x40}, {"adRecPendingChanges", 0x80},
    {"adRecCanceled", 0x100}, {"adRecCantRelease", 0x400}, {"adRecConcurrencyViolation", 0x800},
    {"adRecIntegrityViolation", 0x1000}, {"adRecMaxChangesExceeded", 0x2000}, {"adRecObjectOpen", 0x4000},
    {"adRecOutOfMemory", 0x8000}, {"adRecPermissionDenied", 0x10000}, {"adRecSchemaViolation", 0x20000},
    {"adRecDBDeleted", 0x40000},
    // GetRowsOptionEnum, PositionEnum, BookmarkEnum
    {"adGetRowsRest", -1}, {"adPosUnknown", -1}, {"adPosBOF", -2}, {"adPosEOF", -3},
    {"adBookmarkCurrent", 0}, {"adBookmarkFirst", 1}, {"adBookmarkLast", 2},
    // MarshalOptionsEnum, AffectEnum, ResyncEnum, CompareEnum
    {"adMarshalAll", 0}, {"adMarshalModifiedOnly", 1}, {"adAffectCurrent", 1}, {"adAffectGroup", 2},
    {"adAffectAll", 3}, {"adAffectAllChapters", 4}, {"adResyncUnderlyingValues", 1}, {"adResyncAllValues", 2},
    {"adCompareLessThan", 0}, {"adCompareEqual", 1}, {"adCompareGreaterThan", 2}, {"adCompareNotEqual", 3},
    {"adCompareNotComparable", 4},
    // FilterGroupEnum, SearchDirectionEnum, SeekEnum
    {"adFilterNone", 0}, {"adFilterPendingRecords", 1}, {"adFilterAffectedRecords", 2},
    {"adFilterFetchedRecords", 3}, {"adFilterPredicate", 4}, {"adFilterConflictingRecords", 5},
    {"adSearchForward", 1}, {"adSearchBackward", -1}, {"adSeekFirstEQ", 1}, {"adSeekLastEQ", 2},
    {"adSeekAfterEQ", 4}, {"adSeekAfter", 8}, {"adSeekBeforeEQ", 0x10}, {"adSeekBefore", 0x20},
    // PersistFormatEnum, StringFormatEnum, ConnectPromptEnum
    {"adPersistADTG", 0}, {"adPersistXML", 1}, {"adClipString", 2}, {"adPromptAlways", 1},
    {"adPromptComplete", 2}, {"adPromptCompleteRequired", 3}, {"adPromptNever", 4},
    // ConnectModeEnum
    {"adModeUnknown", 0}, {"adModeRead", 1}, {"adModeWrite", 2}, {"adModeReadWrite", 3},
    {"adModeShareDenyRead", 4}, {"adModeShareDenyWrite", 8}, {"adModeShareExclusive", 0xc},
    {"adModeShareDenyNone", 0x10}, {"adModeRecursive", 0x400000},
    // IsolationLevelEnum, XactAttributeEnum
    {"adXactUnspecified", -1}, {"adXactChaos", 0x10}, {"adXactReadUncommitted", 0x100},
    {"adXactBrowse", 0x100}, {"adXactCursorStability", 0x1000}, {"adXactReadCommitted", 0x1000},
    {"adXactRepeatableRead", 0x10000}, {"adXactSerializable", 0x100000}, {"adXactIsolated", 0x100000},
    {"adXactCommitRetaining", 0x20000}, {"adXactAbortRetaining", 0x40000},
    // PropertyAttributesEnum
    {"adPropNotSupported", 0}, {"adPropRequired", 1}, {"adPropOptional", 2}, {"adPropRead", 0x200},
    {"adPropWrite", 0x400},
    // ParameterAttributesEnum, ParameterDirectionEnum
    {"adParamSigned", 0x10}, {"adParamNullable", 0x40}, {"adParamLong", 0x80}, {"adParamUnknown", 0},
    {"adParamInput", 1}, {"adParamOutput", 2}, {"adParamInputOutput", 3}, {"adParamReturnValue", 4},
    // CommandTypeEnum
    {"adCmdUnspecified", -1}, {"adCmdUnknown", 8}, {"adCmdText", 1}, {"adCmdTable", 2},
    {"adCmdStoredProc", 4}, {"adCmdFile", 0x100}, {"adCmdTableDirect", 0x200},
    // EventStatusEnum
    {"adStatusOK", 1}, {"adStatusErrorsOccurred", 2}, {"adStatusCantDeny", 3}, {"adStatusCancel", 4},
    {"adStatusUnwantedEvent", 5},
    // StreamTypeEnum, LineSeparatorEnum, StreamOpenOptionsEnum, StreamWriteEnum,
    // SaveOptionsEnum, StreamReadEnum
    {"adTypeBinary", 1}, {"adTypeText", 2}, {"adLF", 10}, {"adCR", 13}, {"adCRLF", -1},
    {"adOpenStreamUnspecified", -1}, {"adOpenStreamAsync", 1}, {"adOpenStreamFromRecord", 4},
    {"adWriteChar", 0}, {"adWriteLine", 1}, {"stWriteChar", 0}, {"stWriteLine", 1},
    {"adSaveCreateNotExist", 1}, {"adSaveCreateOverWrite", 2}, {"adReadAll", -1}, {"adReadLine", -2},
    // ErrorValueEnum
    {"adErrProviderFailed", 0xbb8}, {"adErrInvalidArgument", 0xbb9}, {"adErrOpeningFile", 0xbba},
    {"adErrReadFile", 0xbbb}, {"adErrWriteFile", 0xbbc}, {"adErrNoCurrentRecord", 0xbcd},
    {"adErrIllegalOperation", 0xc93}, {"adErrCantChangeProvider", 0xc94}, {"adErrInTransaction", 0xcae},
    {"adErrFeatureNotAvailable", 0xcb3}, {"adErrItemNotFound", 0xcc1}, {"adErrObjectInCollection", 0xd27},
    {"adErrObjectNotSet", 0xd5c}, {"adErrDataConversion", 0xd5d}, {"adErrObjectClosed", 0xe78},
    {"adErrObjectOpen", 0xe79}, {"adErrProviderNotFound", 0xe7a}, {"adErrBoundToCommand", 0xe7b},
    {"adErrInvalidParamInfo", 0xe7c}, {"adErrInvalidConnection", 0xe7d}, {"adErrNotReentrant", 0xe7e},
    {"adErrStillExecuting", 0xe7f}, {"adErrOperationCancelled", 0xe80}, {"adErrStillConnecting", 0xe81},
    {"adErrInvalidTransaction", 0xe82}, {"adErrNotExecuting", 0xe83}, {"adErrUnsafeOperation", 0xe84},
});

// The constants by name, sorted once, for searching by halves.
const std::array<AdoConstant, kConstants.size()>& ByName() {
  static const auto sorted = [] {
    auto constants = kConstants;
    std::ranges::sort(constants, LessFolded, &AdoConstant::name);
    return constants;
  }();
  return sorted;
}

}  // namespace

std::optional<std::int32_t> FindAdoConstant(std::string_view name) {
  // Every name starts "ad" ("st" for two of the stream's): any other name,
  // a Lua page's missing global among them, is turned away at once.
  const auto startsWith = [&](std::string_view prefix) {
    return name.size() > prefix.size() && Lower(name[0]) == prefix[0] && Lower(name[1]) == prefix[1];
  };
  if (!startsWith("ad") && !startsWith("st")) return std::nullopt;
  const auto& byName = ByName();
  const auto it = std::ranges::lower_bound(byName, name, LessFolded, &AdoConstant::name);
  if (it == byName.end() || LessFolded(name, it->name)) return std::nullopt;
  return it->value;
}

std::span<const AdoConstant> AdoConstants() { return kConstants; }

}  // namespace kelvane::host::adodb
