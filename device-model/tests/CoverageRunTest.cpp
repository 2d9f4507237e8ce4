// The shipped constructor run in the device model with a fixture app's classes as its host side:
// its installation of each row agrees with the static listing, row for row.
#include "CoverageSupport.h"
#include "tests/HookTable.h"

#include <algorithm>

namespace device::coverage {
namespace {

TEST(CoverageRunTest, TheConstructorsTableIsTheHookTable) {
  const std::vector<HookRow> &table = ShippedTable();
  ASSERT_EQ(table.size(), kExpectedHookCount);
  for (unsigned i = 0; i < kExpectedHookCount; ++i) {
    EXPECT_EQ(table[i].className, kExpectedHooks[i].className) << "row " << i + 1;
    EXPECT_EQ(table[i].selector, kExpectedHooks[i].selector) << "row " << i + 1;
  }
  if (ShippedDylibHas(Arch::armv7)) {
    const std::vector<HookRow> armv7 = HookTableOf(ShippedDylib(), Arch::armv7);
    ASSERT_EQ(armv7.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(armv7[i].className + armv7[i].selector, table[i].className + table[i].selector);
  }
}

TEST(CoverageRunTest, TheShippedDylibLooksUpTheKeyTheListingChecks) {
  // The key reaches the library as a constant string: its characters stand in the dylib.
  const std::string key = GradientKeyLookup().key;
  const std::vector<uint8_t> &dylib = ShippedDylib();
  const std::string needle(key.c_str(), key.size() + 1);
  EXPECT_NE(std::search(dylib.begin(), dylib.end(), needle.begin(), needle.end()), dylib.end());
  bool inTable = false;
  for (const HookRow &row : ShippedTable()) inTable = inTable || (row.className == GradientKeyLookup().className && row.selector == "layoutSubviews");
  EXPECT_TRUE(inTable);
}

// Holds the model's install log to the static verdicts; returns how many rows were decided.
size_t ExpectAgreement(const std::string &app, bool withUIKit, Arch dylibSlice) {
  const ClassSet classes = ClassesOf(app, withUIKit);
  const std::vector<RowVerdict> verdicts = Verdicts(ShippedTable(), classes);
  const std::vector<ModelInstall> log = RunConstructorAgainst(ShippedDylib(), dylibSlice, classes, ShippedTable());
  EXPECT_EQ(log.size(), verdicts.size());
  size_t decided = 0;
  for (size_t i = 0; i < std::min(log.size(), verdicts.size()); ++i) {
    const RowVerdict &v = verdicts[i];
    const ModelInstall &m = log[i];
    SCOPED_TRACE(app + " row " + std::to_string(i + 1) + " " + v.row.className + " " + v.row.selector);
    EXPECT_EQ(m.row.className, v.row.className);
    EXPECT_EQ(m.row.selector, v.row.selector);
    if (v.install == RowVerdict::Install::unknown) continue;
    ++decided;
    switch (v.install) {
      case RowVerdict::Install::replacesOwn:
        EXPECT_TRUE(m.classFound);
        EXPECT_EQ(m.outcome, LoadRecord::Install::Outcome::own);
        break;
      case RowVerdict::Install::replacesInherited:
        EXPECT_TRUE(m.classFound);
        EXPECT_EQ(m.outcome, LoadRecord::Install::Outcome::inherited);
        EXPECT_EQ(m.definer, v.implementor);
        break;
      default:
        EXPECT_EQ(m.outcome, LoadRecord::Install::Outcome::none);
        EXPECT_EQ(m.classFound, v.classOrigin.kind != Origin::absent);
    }
  }
  return decided;
}

class CoverageRunTest : public EachSlice {};

TEST_P(CoverageRunTest, TheInstallLogAgreesWithTheStaticListingRowForRow) {
  for (const char *app : {"FullHost-arm64", "FullHost-armv7", "NextVersion-arm64", "NextVersion-chained", "NextVersion-armv7"}) {
    EXPECT_EQ(ExpectAgreement(app, true, GetParam()), ShippedTable().size()) << app;
    // Without UIKit only the rows the app decides are held to the log.
    EXPECT_GT(ExpectAgreement(app, false, GetParam()), ShippedTable().size() / 2) << app;
  }
}

INSTANTIATE_TEST_SUITE_P(Slices, CoverageRunTest, ::testing::Values(Arch::arm64, Arch::armv7), SliceName);

}  // namespace
}  // namespace device::coverage
