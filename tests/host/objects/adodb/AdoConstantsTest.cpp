// ADO's constants: found by name in any case, typed as their literals, and
// known to pages built in, where a page's own Const lines (adovbs.inc) and
// variables of the same names still win.

#include "host/objects/adodb/AdoConstants.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host/vbscript/VbScriptHarness.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {
namespace {

using vbscript::testing::Result;
using vbscript::testing::RunFiles;

TEST(AdoConstantsTest, FindsEachByNameInAnyCase) {
  const struct {
    std::string name;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"adOpenForwardOnly", 0}, {"adOpenStatic", 3},       {"ADLOCKOPTIMISTIC", 3}, {"adcmdtext", 1},
      {"adVarChar", 200},       {"adLongVarBinary", 205},  {"adArray", 0x2000},     {"adUseClient", 3},
      {"adStateOpen", 1},       {"adParamReturnValue", 4}, {"adExecuteNoRecords", 0x80},
      {"adTypeText", 2},        {"adSaveCreateOverWrite", 2}, {"adFilterNone", 0}, {"adPosEOF", -3},
      {"adBookmarkLast", 2},    {"adAddNew", 0x1000400},   {"adErrProviderNotFound", 3706},
      {"adOpenStatic2", std::nullopt}, {"adOpen", std::nullopt}, {"", std::nullopt}, {"zzz", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FindAdoConstant(c.name), c.value) << c.name;
  std::set<std::string> names;
  for (const AdoConstant& constant : AdoConstants()) {
    EXPECT_EQ(FindAdoConstant(constant.name), constant.value) << constant.name;
    EXPECT_TRUE(names.insert(oleaut::FoldCase(constant.name)).second) << constant.name << " twice";
  }
}

TEST(AdoConstantsTest, PagesKnowThemBuiltIn) {
  const struct {
    std::string code, expected;
  } cases[] = {
      {"Response.Write adOpenStatic & adLockOptimistic & adCmdText & adVarChar", "331200"},
      {"Response.Write TypeName(adVarChar) & TypeName(adFldKeyColumn) & adFldKeyColumn", "IntegerLong32768"},
      {"Option Explicit : Response.Write ADUSECLIENT + adUseServer", "5"},
      {"Const kind = adCmdStoredProc : Response.Write kind", "4"},
      // the page's own names win: a Const, an assignment, a Dim
      {"Const adOpenStatic = 9 : Response.Write adOpenStatic", "9"},
      {"adOpenStatic = 7 : Response.Write adOpenStatic", "7"},
      {"Dim adUseClient : Response.Write IsEmpty(adUseClient)", "True"},
      {"Sub S : Const adLockReadOnly = 5 : Response.Write adLockReadOnly : End Sub : S", "5"},
  };
  for (const auto& c : cases) EXPECT_EQ(Result(c.code), c.expected) << c.code;
}

// adovbs.inc as classic sites include it: its Const lines, some hex with
// leading zeros, name constants the engine has built in.
constexpr std::string_view kAdovbs = R"(<%
'--------------------------------------------------------------------
' Microsoft ADO
'--------------------------------------------------------------------
'---- CursorTypeEnum Values ----
Const adOpenForwardOnly = 0
Const adOpenKeyset = 1
Const adOpenDynamic = 2
Const adOpenStatic = 3

'---- CursorOptionEnum Values ----
Const adHoldRecords = &H00000100
Const adMovePrevious = &H00000200
Const adAddNew = &H01000400

'---- LockTypeEnum Values ----
Const adLockReadOnly = 1
Const adLockPessimistic = 2
Const adLockOptimistic = 3
Const adLockBatchOptimistic = 4

'---- ExecuteOptionEnum Values ----
Const adExecuteNoRecords = &H00000080

'---- CursorLocationEnum Values ----
Const adUseServer = 2
Const adUseClient = 3

'---- DataTypeEnum Values ----
Const adEmpty = 0
Const adInteger = 3
Const adVarChar = 200
Const adVarWChar = 202
Const adLongVarWChar = 203

'---- ParameterDirectionEnum Values ----
Const adParamInput = &H0001
Const adParamOutput = &H0002

'---- CommandTypeEnum Values ----
Const adCmdUnknown = &H0008
Const adCmdText = &H0001
Const adCmdStoredProc = &H0004
%>)";

TEST(AdoConstantsTest, PagesIncludingAdovbsStillCompile) {
  const auto outcome = RunFiles(
      {{"page.asp", "<% Option Explicit %><!--#include file=\"adovbs.inc\"-->"
                    "<%= adOpenStatic & adLockOptimistic & adCmdStoredProc & adVarWChar & adAddNew %>"},
       {"adovbs.inc", std::string(kAdovbs)}});
  ASSERT_FALSE(outcome.error) << outcome.error->description;
  EXPECT_EQ(outcome.output, "33420216778240");
}

}  // namespace
}  // namespace kelvane::host::adodb
