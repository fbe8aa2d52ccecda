#include "platform/complus/ObjectContext.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/asp/Response.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::complus {
namespace {

TEST(ObjectContext, ItemsAreFoundWithoutRegardToCaseAndMissingOnesAreEmpty) {
  ObjectContext context;
  context.SetItem("Response", oleaut::Long{1});
  context.SetItem("RESPONSE", oleaut::Long{2});
  EXPECT_EQ(context.get_Item("response"), oleaut::Variant(oleaut::Long{2}));
  EXPECT_TRUE(context.get_Item("Request").IsEmpty());
}

TEST(ContextScope, SetsTheThreadsContextAndRestoresTheOneBefore) {
  EXPECT_EQ(GetObjectContext(), nullptr);
  auto outer = std::make_shared<ObjectContext>();
  auto inner = std::make_shared<ObjectContext>();
  {
    const ContextScope a(outer);
    {
      const ContextScope b(inner);
      EXPECT_EQ(GetObjectContext(), inner);
      std::thread([] { EXPECT_EQ(GetObjectContext(), nullptr); }).join();
    }
    EXPECT_EQ(GetObjectContext(), outer);
  }
  EXPECT_EQ(GetObjectContext(), nullptr);
}

TEST(MemoryResponse, TakesByteArraysOnlyAndNothingAfterEnd) {
  asp::MemoryResponse response;
  response.BinaryWrite(oleaut::Variant::ByteArray({1, 2, 3}, 1));
  EXPECT_THROW(response.BinaryWrite(oleaut::Variant("text")), oleaut::AutomationError);
  response.End();
  response.BinaryWrite(oleaut::Variant::ByteArray({4}, 0));
  EXPECT_EQ(response.Body(), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_TRUE(response.Ended());
}

}  // namespace
}  // namespace kelvane::complus
