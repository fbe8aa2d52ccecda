#include "platform/oleaut/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/Automation.h"

namespace kelvane::oleaut {
namespace {

const ObjectRef kObject = std::make_shared<IUnknown>();
const ArrayRef kArray = std::make_shared<const SafeArray>();

// One variant of each kind, with its type code.
const struct {
  Variant value;
  VarType type;
} kKinds[] = {
    {Variant(), VarType::Empty},
    {Variant::Null(), VarType::Null},
    {Integer{-2}, VarType::Integer},
    {Long{70000}, VarType::Long},
    {Single{1.5f}, VarType::Single},
    {2.5, VarType::Double},
    {VariantBool::True, VarType::Boolean},
    {Byte{200}, VarType::Byte},
    {Date{3.25}, VarType::Date},
    {Currency{12345}, VarType::Currency},
    {Variant::Missing(), VarType::Error},
    {"text", VarType::String},
    {kObject, VarType::Object},
    {kArray, static_cast<VarType>(0x200C)},
    {Variant::ByteArray({1, 2}, 0), static_cast<VarType>(0x2011)},
};

TEST(Variant, EachKindKeepsItsTypeAndValueThroughCopiesAndMoves) {
  for (const auto& [value, type] : kKinds) {
    SCOPED_TRACE(static_cast<int>(type));
    EXPECT_EQ(value.Type(), type);
    Variant copy = value;
    EXPECT_EQ(copy, value);
    Variant assigned = Integer{7};
    assigned = copy;
    EXPECT_EQ(assigned, value);
    const Variant moved = std::move(copy);
    EXPECT_EQ(moved, value);
    EXPECT_TRUE(copy.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved variant is Empty
    Variant& alias = assigned;  // assigned to itself
    assigned = std::move(alias);
    EXPECT_EQ(assigned, value);
    assigned = alias;
    EXPECT_EQ(assigned, value);
  }
}

TEST(Variant, HoldsEachTypeAsItselfAlone) {
  const Variant number = Long{5};
  EXPECT_EQ(*number.If<Long>(), 5);
  EXPECT_EQ(number.If<Integer>(), nullptr);
  EXPECT_EQ(number.If<double>(), nullptr);
  EXPECT_EQ(number.If<std::string>(), nullptr);
  const Variant text = std::string("abc");
  EXPECT_EQ(*text.If<std::string>(), "abc");
  EXPECT_EQ(text.If<ObjectRef>(), nullptr);
  EXPECT_TRUE(Variant(ErrorCode{DISP_E_PARAMNOTFOUND}).IsMissing());
  EXPECT_FALSE(Variant(ErrorCode{5}).IsMissing());
  EXPECT_NE(Variant(Integer{1}), Variant(Long{1}));
  EXPECT_NE(Variant(std::nan("")), Variant(std::nan("")));
  EXPECT_NE(Variant(ObjectRef(std::make_shared<IUnknown>())), Variant(kObject));
}

// An object that, when let go of, records what the variable that held it
// then holds.
class Watcher : public IUnknown {
 public:
  Watcher(const Variant& holder, VarType& seen) : holder_(holder), seen_(seen) {}
  ~Watcher() override { seen_ = holder_.Type(); }

 private:
  const Variant& holder_;
  VarType& seen_;
};

TEST(Variant, LetsGoOfTheOldValueOnlyOnceTheNewOneIsInPlace) {
  for (const Variant& replacement : {Variant(Integer{3}), Variant("new"), Variant(kObject)}) {
    Variant holder;
    VarType seen = VarType::Void;
    holder = ObjectRef(std::make_shared<Watcher>(holder, seen));
    holder = replacement;
    EXPECT_EQ(seen, replacement.Type());
    holder = ObjectRef(std::make_shared<Watcher>(holder, seen));
    Variant moved = replacement;
    holder = std::move(moved);
    EXPECT_EQ(seen, replacement.Type());
  }
}

}  // namespace
}  // namespace kelvane::oleaut
