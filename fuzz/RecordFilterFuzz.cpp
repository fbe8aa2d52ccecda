// Feeds arbitrary bytes to a Recordset's Filter and Sort readers, then
// applies what they read to rows of every kind of value. Every input must
// be refused with an automation error or filter and order the rows;
// nothing may crash, recurse without bound or read outside its bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/objects/adodb/RecordFilter.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"

namespace {

using namespace kelvane::host::adodb;
using kelvane::oleaut::Variant;

constexpr std::string_view kNames[] = {"id", "name", "price", "born", "two words"};

std::size_t Lookup(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kNames); ++i)
    if (kelvane::oleaut::SameName(kNames[i], name)) return i;
  throw kelvane::oleaut::AutomationError(3265, "ADODB.Fields", "no such field");
}

const std::vector<std::vector<Variant>>& Rows() {
  static const std::vector<std::vector<Variant>> rows = {
      {kelvane::oleaut::Long{1}, std::string("Apple"), 3.5, kelvane::oleaut::Date{45000.5}, std::string("")},
      {kelvane::oleaut::Long{2}, Variant::Null(), Variant::Null(), Variant::Null(), std::string("x'y")},
      {kelvane::oleaut::Long{-3}, std::string("\xC3\xA9t\xC3\xA9"), kelvane::oleaut::Currency{25000},
       kelvane::oleaut::Date{-1.25}, Variant::Null()},
  };
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto& rows = Rows();
  try {
    const RecordFilter filter = RecordFilter::Parse(text, Lookup);
    for (const auto& row : rows) filter.Passes(row);
  } catch (const kelvane::oleaut::AutomationError&) {
  }
  try {
    const RecordOrder order = RecordOrder::Parse(text, Lookup);
    std::vector<std::size_t> shown = {0, 1, 2};
    std::ranges::stable_sort(shown, [&](std::size_t a, std::size_t b) { return order.Before(rows[a], rows[b]); });
  } catch (const kelvane::oleaut::AutomationError&) {
  }
  return 0;
}
