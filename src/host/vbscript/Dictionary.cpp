#include "host/vbscript/Dictionary.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DispatchTable.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::host::vbscript {

namespace {

using namespace oleaut;

constexpr std::int32_t kKeyExists = 457;
constexpr std::int32_t kElementNotFound = 32811;

enum Member : DISPID {
  kItem = DISPID_VALUE, kAdd = 1, kExists, kItems, kKeys, kRemove, kRemoveAll, kCount, kCompareMode,
};

const InterfaceDesc& Description() {
  static const InterfaceDesc description{
      "Dictionary", GUID{}, 0, "IDispatch",
      {{kItem, "Item", DISPATCH_PROPERTYGET, {{"Key", VarType::Variant}}, VarType::Variant},
       {kItem, "Item", DISPATCH_PROPERTYPUT, {{"Key", VarType::Variant}, {"Item", VarType::Variant}}, VarType::Void},
       {kAdd, "Add", DISPATCH_METHOD, {{"Key", VarType::Variant}, {"Item", VarType::Variant}}, VarType::Void},
       {kExists, "Exists", DISPATCH_METHOD, {{"Key", VarType::Variant}}, VarType::Boolean},
       {kItems, "Items", DISPATCH_METHOD, {}, VarType::Variant},
       {kKeys, "Keys", DISPATCH_METHOD, {}, VarType::Variant},
       {kRemove, "Remove", DISPATCH_METHOD, {{"Key", VarType::Variant}}, VarType::Void},
       {kRemoveAll, "RemoveAll", DISPATCH_METHOD, {}, VarType::Void},
       {kCount, "Count", DISPATCH_PROPERTYGET, {}, VarType::Long},
       {kCompareMode, "CompareMode", DISPATCH_PROPERTYGET, {}, VarType::Long},
       {kCompareMode, "CompareMode", DISPATCH_PROPERTYPUT, {{"Mode", VarType::Long}}, VarType::Void}}};
  return description;
}

class Dictionary : public IDispatch {
 public:
  std::optional<DISPID> GetIDOfName(std::string_view name) const override {
    return FindMember(Description(), name);
  }

  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }

  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    const bool put = (kind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const auto expect = [&](std::size_t count) {
      if (args.size() != count) RaiseRuntimeError(kWrongArgumentCount);
    };
    switch (id) {
      case kItem:
        if (put) {
          expect(2);
          Slot(args[0]) = args[1];
          return {};
        }
        expect(1);
        return Slot(args[0]);
      case kAdd: {
        expect(2);
        const std::string key = KeyOf(args[0]);
        if (index_.contains(key)) Raise(kKeyExists, "This key is already associated with an element of this collection");
        index_.emplace(key, entries_.size());
        entries_.emplace_back(args[0], args[1]);
        return {};
      }
      case kExists: expect(1); return ToVariantBool(index_.contains(KeyOf(args[0])));
      case kItems: expect(0); return Column(&Entry::second);
      case kKeys: expect(0); return Column(&Entry::first);
      case kRemove: {
        expect(1);
        const auto it = index_.find(KeyOf(args[0]));
        if (it == index_.end()) Raise(kElementNotFound, "Element not found");
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(it->second));
        Reindex();
        return {};
      }
      case kRemoveAll:
        expect(0);
        entries_.clear();
        index_.clear();
        return {};
      case kCount:
        if (put) RaiseRuntimeError(kMemberNotFound);
        expect(0);
        return static_cast<Long>(entries_.size());
      case kCompareMode:
        if (!put) return textCompare_ ? Long{1} : Long{0};
        expect(1);
        if (!entries_.empty()) RaiseRuntimeError(kInvalidProcedureCall);
        textCompare_ = ToLong(args[0]) == 1;
        return {};
      case DISPID_NEWENUM: {
        std::vector<Variant> keys;
        keys.reserve(entries_.size());
        for (const auto& entry : entries_) keys.push_back(entry.first);
        return Variant(ObjectRef(std::make_shared<ListEnumerator>(std::move(keys))));
      }
      default: RaiseRuntimeError(kMemberNotFound);
    }
  }

 private:
  using Entry = std::pair<Variant, Variant>;

  [[noreturn]] static void Raise(std::int32_t number, const char* description) {
    throw AutomationError(number, "Scripting.Dictionary", description);
  }

  // The key as one text: its kind and value, so that 1 and "1" differ and
  // 1 and 1.0 do not; text compare folds case.
  std::string KeyOf(const Variant& key) const {
    if (key.IsObject()) return "o" + std::to_string(reinterpret_cast<std::uintptr_t>(key.If<ObjectRef>()->get()));
    if (key.IsArray()) RaiseRuntimeError(kTypeMismatch);
    if (key.IsString()) return "s" + (textCompare_ ? FoldCase(*key.If<std::string>()) : *key.If<std::string>());
    if (key.IsEmpty() || key.IsNull()) return key.IsEmpty() ? "e" : "z";
    return "n" + ToString(Variant(ToDouble(key)));
  }

  // The item of `key`, added with Empty when missing.
  Variant& Slot(const Variant& key) {
    const std::string text = KeyOf(key);
    const auto it = index_.find(text);
    if (it != index_.end()) return entries_[it->second].second;
    index_.emplace(text, entries_.size());
    entries_.emplace_back(key, Variant());
    return entries_.back().second;
  }

  Variant Column(Variant Entry::*part) const {
    auto array = std::make_shared<SafeArray>();
    array->elements.reserve(entries_.size());
    for (const auto& entry : entries_) array->elements.push_back(entry.*part);
    return Variant(ArrayRef(std::move(array)));
  }

  void Reindex() {
    index_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(KeyOf(entries_[i].first), i);
  }

  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;
  bool textCompare_ = false;
};

}  // namespace

std::shared_ptr<IDispatch> CreateDictionary() { return std::make_shared<Dictionary>(); }

}  // namespace kelvane::host::vbscript
