// The shipped constructor run on each slice: 52 class look-ups and 56 MSHookMessageEx calls in
// table order, each with its row's class, selector, replacement and slot, and every slot filled with
// the host's implementation when the host has all 52 classes.
#include "Loader.h"
#include "Support.h"
#include "tests/HookTable.h"

#include <set>

namespace device {
namespace {

std::string SymbolAt(const Device &device, uint64_t address) {
  for (const Symbol &s : device.slice().symbols) {
    if (s.address + device.slide() == address) return s.name;
  }
  return "";
}

// "_setBackgroundCGColor:" as it stands in the replacement's and the slot's names.
std::string InName(std::string selector) {
  for (char &c : selector) {
    if (c == ':') c = '$';
  }
  return selector;
}

class ConstructorTest : public EachSlice {};

TEST_P(ConstructorTest, LooksUpEachClassOnceAndInstallsTheRowsInTableOrder) {
  Device device(ShippedDylib(), GetParam(), [](const std::string &) { return FileContents{}; });
  device.Load();
  const LoadRecord &record = device.loadRecord();
  std::vector<std::string> expectedLookups;
  for (unsigned i = 0; i < kExpectedHookCount; ++i) {
    if (i == 0 || std::string(kExpectedHooks[i].className) != kExpectedHooks[i - 1].className) {
      expectedLookups.push_back(kExpectedHooks[i].className);
    }
  }
  EXPECT_EQ(expectedLookups.size(), 52u);
  EXPECT_EQ(record.lookups, expectedLookups);
  ASSERT_EQ(record.installs.size(), 56u);
  std::set<uint64_t> slots;
  for (unsigned i = 0; i < kExpectedHookCount; ++i) {
    const LoadRecord::Install &install = record.installs[i];
    const std::string cls = kExpectedHooks[i].className, sel = kExpectedHooks[i].selector;
    SCOPED_TRACE("row " + std::to_string(i + 1) + " " + cls + " " + sel);
    EXPECT_EQ(install.selector, sel);
    // Only the device's own classes exist without a host: UIKit's are found, the host app's not.
    EXPECT_EQ(install.className, device.runtime().FindClass(cls) != nullptr ? cls : "");
    EXPECT_TRUE(device.runtime().IsImageCode(install.replacement));
    const std::string row = "_ungrouped$" + cls + "$" + InName(sel);
    EXPECT_NE(SymbolAt(device, install.replacement).find("_logos_method$" + row), std::string::npos)
        << SymbolAt(device, install.replacement);
    EXPECT_NE(SymbolAt(device, install.slot).find("_logos_orig$" + row), std::string::npos) << SymbolAt(device, install.slot);
    EXPECT_TRUE(slots.insert(install.slot).second) << "no two rows share a slot";
  }
}

TEST_P(ConstructorTest, WithEveryClassPresentEverySlotHoldsTheHostsImplementation) {
  Device device(ShippedDylib(), GetParam(), [](const std::string &) { return FileContents{}; });
  Runtime &rt = device.runtime();
  std::vector<uint64_t> hostImplementations;
  for (unsigned i = 0; i < kExpectedHookCount; ++i) {
    const std::string cls = kExpectedHooks[i].className, sel = kExpectedHooks[i].selector;
    ClassInfo *info = rt.FindClass(cls);
    if (info == nullptr) info = &rt.DefineClass(cls, "UIView");
    const uint64_t own = rt.LookUpInClass(info, false, rt.Selector(sel));
    const bool defined = own != 0 && rt.Definer(info, rt.Selector(sel)) == info;
    hostImplementations.push_back(defined ? own : rt.AddMethod(*info, false, sel, [](Runtime &, uint64_t, uint64_t,
                                                                                     const std::vector<Value> &) {
      return Value::None();
    }));
  }
  device.Load();
  const LoadRecord &record = device.loadRecord();
  ASSERT_EQ(record.installs.size(), 56u);
  for (unsigned i = 0; i < kExpectedHookCount; ++i) {
    SCOPED_TRACE("row " + std::to_string(i + 1));
    EXPECT_EQ(record.installs[i].className, kExpectedHooks[i].className);
    EXPECT_EQ(device.machine().ReadPointer(record.installs[i].slot), hostImplementations[i]);
    ClassInfo &cls = rt.Class(kExpectedHooks[i].className);
    EXPECT_EQ(rt.LookUpInClass(&cls, false, rt.Selector(kExpectedHooks[i].selector)), record.installs[i].replacement);
  }
}

INSTANTIATE_TEST_SUITE_P(Slices, ConstructorTest, ::testing::Values(Arch::arm64, Arch::armv7), SliceName);

}  // namespace
}  // namespace device
