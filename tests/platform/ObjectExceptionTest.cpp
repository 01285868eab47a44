#include <gtest/gtest.h>

#include <string>

#include "platform/Exception.h"
#include "platform/Object.h"

namespace outer::inner {
class TDiskMgr : public TObject {};
template <typename T>
class THolder : public TObject {};
}  // namespace outer::inner

namespace {

class TLocalTable : public TComponent {};

TEST(ObjectTest, ClassNameIsTheUnqualifiedDynamicType) {
  outer::inner::TDiskMgr disk;
  const TObject& asBase = disk;
  EXPECT_EQ(asBase.ClassName(), "TDiskMgr");
  TLocalTable table;
  EXPECT_EQ(static_cast<const TObject&>(table).ClassName(), "TLocalTable");
  EXPECT_EQ(TComponent().ClassName(), "TComponent");
  // Template arguments keep their qualifiers; only the outer name loses its namespace.
  EXPECT_EQ(outer::inner::THolder<outer::inner::TDiskMgr>().ClassName(),
            "THolder<outer::inner::TDiskMgr>");
}

TEST(ExceptionTest, AssertionFailureNamesCheckUnitAndLine) {
  try {
    AssertFailed("PageSize > 0", "vorDisk", 123);
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "PageSize > 0 (vorDisk, line 123)");
    EXPECT_STREQ(e.what(), "PageSize > 0 (vorDisk, line 123)");
  }
  int line = 0;
  try {
    line = __LINE__ + 1;
    VOR_ASSERT(1 + 1 == 3, "sum", "vorCommon");
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "sum (vorCommon, line " + std::to_string(line) + ")");
  }
  EXPECT_NO_THROW(VOR_ASSERT(true, "never", "vorCommon"));
}

}  // namespace
