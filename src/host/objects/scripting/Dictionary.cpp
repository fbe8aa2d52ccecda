#include "host/objects/scripting/Dictionary.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/pages/PageDeadline.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DispatchTable.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::host::scripting {

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

class Dictionary : public IDispatch, public ValueHolder {
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
        std::string key = KeyOf(args[0]);
        if (index_.contains(key)) Raise(kKeyExists, "This key is already associated with an element of this collection");
        Insert(std::move(key), args[0], args[1]);
        return {};
      }
      case kExists: expect(1); return ToVariantBool(index_.contains(KeyOf(args[0])));
      case kItems: expect(0); return Column(&Entry::second);
      case kKeys: expect(0); return Column(&Entry::first);
      case kRemove: {
        expect(1);
        const auto it = index_.find(KeyOf(args[0]));
        if (it == index_.end()) Raise(kElementNotFound, "Element not found");
        const std::size_t removed = it->second;
        index_.erase(it);
        // Nothing here allocates: the index and the entries stay in step.
        for (auto& [key, place] : index_)
          if (place > removed) --place;
        Entry dying = std::move(entries_[removed]);
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(removed));
        return {};
      }
      case kRemoveAll:
        expect(0);
        DropValues();
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

  void DropValues() noexcept override {
    // The entries die after the dictionary is empty: a terminator they run
    // finds it consistent.
    std::vector<Entry> dying = std::move(entries_);
    entries_.clear();
    index_.clear();
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
    std::string text = KeyOf(key);
    const auto it = index_.find(text);
    if (it != index_.end()) return entries_[it->second].second;
    Insert(std::move(text), key, Variant());
    return entries_.back().second;
  }

  // Adds an entry and its key to the index, both or, when memory fails,
  // neither.
  void Insert(std::string text, const Variant& key, const Variant& item) {
    entries_.emplace_back(key, item);
    try {
      index_.emplace(std::move(text), entries_.size() - 1);
    } catch (...) {
      entries_.pop_back();
      throw;
    }
  }

  Variant Column(Variant Entry::*part) const {
    auto array = std::make_shared<SafeArray>();
    array->elements.reserve(entries_.size());
    host::DeadlineTicker ticker;
    for (const auto& entry : entries_) {
      ticker.Tick();
      array->elements.push_back(entry.*part);
    }
    return Variant(ArrayRef(std::move(array)));
  }

  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;
  bool textCompare_ = false;
};

}  // namespace

std::shared_ptr<IDispatch> CreateDictionary() { return std::make_shared<Dictionary>(); }

}  // namespace kelvane::host::scripting
