#include "host/vbscript/RegExpMatches.h"

#include <array>
#include <string_view>
#include <utility>

#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::vbscript {

namespace {

using namespace oleaut;

constexpr DISPID kCount = 1;
constexpr std::array<std::string_view, 1> kIndex{"index"};

// A read-only list of values numbered from 0, known to TypeName as `Name`.
template <const char* Name>
class List : public IDispatch {
 public:
  explicit List(std::vector<Variant> items) : items_(std::move(items)) {}

  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return Table().GetIDOfName(name); }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    return Table().Invoke(*this, id, kind, args);
  }

  Variant Item(Long index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) RaiseRuntimeError(kInvalidProcedureCall);
    return items_[static_cast<std::size_t>(index)];
  }
  Long Count() const { return static_cast<Long>(items_.size()); }
  Variant NewEnum() const { return ObjectRef(std::make_shared<ListEnumerator>(items_)); }

 private:
  static const DispatchTable<List>& Table() {
    static const DispatchTable<List> table({
        Bind<&List::Item>(DISPID_VALUE, "Item", DISPATCH_PROPERTYGET, kIndex),
        Bind<&List::Count>(kCount, "Count", DISPATCH_PROPERTYGET),
        Bind<&List::NewEnum>(DISPID_NEWENUM, "_NewEnum", DISPATCH_PROPERTYGET),
    });
    return table;
  }
  static const InterfaceDesc& Description() {
    static const InterfaceDesc description{Name, GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }

  std::vector<Variant> items_;
};

constexpr char kMatchesName[] = "IMatchCollection2";
constexpr char kSubMatchesName[] = "ISubMatches";
constexpr char kMatchName[] = "IMatch2";

enum MatchMember : DISPID { kValue = DISPID_VALUE, kFirstIndex = 10001, kLength, kSubMatches };

class Match : public IDispatch {
 public:
  explicit Match(MatchRecord record) : record_(std::move(record)) {}

  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return Table().GetIDOfName(name); }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    // SubMatches(i) reads item i of the collection.
    if (id == kSubMatches && args.size() == 1 && (kind & DISPATCH_PROPERTYGET) != 0)
      return Groups().Item(VariantTo<Long>(args[0]));
    return Table().Invoke(*this, id, kind, args);
  }

  std::string Value() const { return record_.value; }
  Long FirstIndex() const { return record_.firstIndex; }
  Long Length() const { return record_.length; }
  Variant SubMatches() { return ObjectRef(GroupsObject()); }

 private:
  using Groups_ = List<kSubMatchesName>;

  std::shared_ptr<Groups_> GroupsObject() {
    if (!groups_) groups_ = std::make_shared<Groups_>(std::move(record_.subMatches));
    return groups_;
  }
  Groups_& Groups() { return *GroupsObject(); }

  static const DispatchTable<Match>& Table() {
    static const DispatchTable<Match> table({
        Bind<&Match::Value>(kValue, "Value", DISPATCH_PROPERTYGET),
        Bind<&Match::FirstIndex>(kFirstIndex, "FirstIndex", DISPATCH_PROPERTYGET),
        Bind<&Match::Length>(kLength, "Length", DISPATCH_PROPERTYGET),
        Bind<&Match::SubMatches>(kSubMatches, "SubMatches", DISPATCH_PROPERTYGET),
    });
    return table;
  }
  static const InterfaceDesc& Description() {
    static const InterfaceDesc description{kMatchName, GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }

  MatchRecord record_;
  std::shared_ptr<Groups_> groups_;  // made on first use
};

}  // namespace

std::shared_ptr<IDispatch> MakeMatches(std::vector<MatchRecord> matches) {
  std::vector<Variant> items;
  items.reserve(matches.size());
  for (auto& record : matches) items.emplace_back(ObjectRef(std::make_shared<Match>(std::move(record))));
  return std::make_shared<List<kMatchesName>>(std::move(items));
}

}  // namespace kelvane::host::vbscript
