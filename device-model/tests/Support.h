// What the device model's tests share: the shipped dylib and its slices.
#pragma once

#include "DylibFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace device {

#include <cstdlib>

// The dylib this tree builds, or the one DUSKWELL_DEVICE_DYLIB names.
inline const char *ShippedDylibPath() {
  const char *path = std::getenv("DUSKWELL_DEVICE_DYLIB");
  return path != nullptr && *path != '\0' ? path : DUSKWELL_DEVICE_DYLIB;
}

inline const std::vector<uint8_t> &ShippedDylib() {
  static const std::vector<uint8_t> bytes = ReadFile(ShippedDylibPath());
  return bytes;
}

inline bool ShippedDylibHas(Arch arch) {
  for (Arch a : ArchitecturesOf(ShippedDylib())) {
    if (a == arch) return true;
  }
  return false;
}

// Runs a test once per slice of the shipped dylib; a slice the build does not have yet is skipped
// with its name.
class EachSlice : public ::testing::TestWithParam<Arch> {
 protected:
  void SetUp() override {
    if (!ShippedDylibHas(GetParam())) GTEST_SKIP() << ShippedDylibPath() << " has no " << ArchName(GetParam()) << " slice";
  }
};

inline std::string SliceName(const ::testing::TestParamInfo<Arch> &info) { return ArchName(info.param); }

}  // namespace device
