#include <gtest/gtest.h>

#include "host/objects/adodb/RecordEdits.h"

namespace kelvane::host::adodb {
namespace {

TEST(BaseTable, IsTheOneTableASelectReads) {
  const struct {
    const char* sql;
    const char* table;  // nullptr: no table edits could be written to
  } cases[] = {
      {"SELECT * FROM t", "t"},
      {"select id, name from Items where id > 3 order by name", "Items"},
      {"SELECT a FROM shop.items LIMIT 5", "shop.items"},
      {"SELECT \"a b\" FROM \"My Table\" WHERE x = 'FROM y'", "\"My Table\""},
      {"SELECT [a] FROM [dbo].[Orders]", "[dbo].[Orders]"},
      {"SELECT (SELECT MAX(n) FROM other) AS m, id FROM t WHERE id IN (SELECT id FROM u)", "t"},
      {"SELECT 'from x' AS f FROM t", "t"},
      {"SELECT * FROM a, b", nullptr},
      {"SELECT * FROM a JOIN b ON a.id = b.id", nullptr},
      {"SELECT * FROM a x", nullptr},
      {"SELECT n, COUNT(*) FROM a GROUP BY n", nullptr},
      {"SELECT n FROM a WHERE n > 1 GROUP BY n", nullptr},
      {"SELECT n FROM a UNION SELECT n FROM b", nullptr},
      {"SELECT DISTINCT n FROM a", nullptr},
      {"SELECT * FROM (SELECT 1) AS s", nullptr},
      {"SELECT 1", nullptr},
      {"UPDATE t SET n = 1", nullptr},
      {"SELECT * FROM \"t", nullptr},
      {"SELECT * FROM t.", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const auto table = BaseTable(c.sql);
    if (c.table == nullptr) {
      EXPECT_FALSE(table.has_value()) << c.sql << " gave " << table.value_or("");
    } else {
      EXPECT_EQ(table.value_or("(none)"), c.table) << c.sql;
    }
  }
}

}  // namespace
}  // namespace kelvane::host::adodb
