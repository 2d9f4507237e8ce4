// Messages to nil, run from hand-assembled code through the model's objc_msgSend: the registers the
// device's objc_msgSend clears are zero afterwards whatever the message's result type (a BOOL here,
// whose own result register is x0 or r0 alone).
#include "DeviceLibraries.h"
#include "ObjCRuntime.h"
#include "TraceWriter.h"

#include <gtest/gtest.h>

namespace device {
namespace {

constexpr uint64_t kCode = 0x1000000;

// Sends the selector in the first argument to nil through the trap in the second, with every
// register the nil path should clear first set to something else; returns the OR of those
// registers after the send (0 when all were cleared).
const std::vector<uint8_t> kArm64Probe = {
    0xfd, 0x7b, 0xbf, 0xa9,  // stp x29, x30, [sp, #-16]!
    0xf0, 0x03, 0x01, 0xaa,  // mov x16, x1          (the trap)
    0xe1, 0x03, 0x00, 0xaa,  // mov x1, x0           (the selector)
    0x00, 0x00, 0x80, 0xd2,  // mov x0, #0           (nil)
    0x00, 0x10, 0x6e, 0x1e,  // fmov d0, #1.0
    0x01, 0x10, 0x6e, 0x1e,  // fmov d1, #1.0
    0x02, 0x10, 0x6e, 0x1e,  // fmov d2, #1.0
    0x03, 0x10, 0x6e, 0x1e,  // fmov d3, #1.0
    0x00, 0x1e, 0x18, 0x4e,  // mov v0.d[1], x16     (the upper half of q0 too)
    0x00, 0x02, 0x3f, 0xd6,  // blr x16
    0x02, 0x00, 0x66, 0x9e,  // fmov x2, d0
    0x00, 0x00, 0x01, 0xaa,  // orr x0, x0, x1
    0x00, 0x00, 0x02, 0xaa,  // orr x0, x0, x2
    0x22, 0x00, 0x66, 0x9e,  // fmov x2, d1
    0x00, 0x00, 0x02, 0xaa,  // orr x0, x0, x2
    0x42, 0x00, 0x66, 0x9e,  // fmov x2, d2
    0x00, 0x00, 0x02, 0xaa,  // orr x0, x0, x2
    0x62, 0x00, 0x66, 0x9e,  // fmov x2, d3
    0x00, 0x00, 0x02, 0xaa,  // orr x0, x0, x2
    0x02, 0x3c, 0x18, 0x4e,  // mov x2, v0.d[1]
    0x00, 0x00, 0x02, 0xaa,  // orr x0, x0, x2
    0xfd, 0x7b, 0xc1, 0xa8,  // ldp x29, x30, [sp], #16
    0xc0, 0x03, 0x5f, 0xd6,  // ret
};

// Thumb: the same for r0 and r1.
const std::vector<uint8_t> kArmv7Probe = {
    0x10, 0xb5,  // push {r4, lr}
    0x0c, 0x46,  // mov r4, r1    (the trap)
    0x01, 0x46,  // mov r1, r0    (the selector)
    0x00, 0x20,  // movs r0, #0   (nil)
    0xa0, 0x47,  // blx r4
    0x08, 0x43,  // orrs r0, r1
    0x10, 0xbd,  // pop {r4, pc}
};

uint64_t SendBoolValueToNil(Arch arch, std::string *trace) {
  Machine machine(arch);
  Trace events;
  Runtime rt(machine, events);
  InstallFoundation(rt, [](const std::string &) { return FileContents{}; });
  const std::vector<uint8_t> &probe = arch == Arch::arm64 ? kArm64Probe : kArmv7Probe;
  machine.Map(kCode, 0x1000, 1 | 4);
  machine.Write(kCode, probe.data(), probe.size());
  const uint64_t entry = arch == Arch::arm64 ? kCode : kCode | 1;
  const Value left = machine.Call(entry, {Value::Word(rt.Selector("boolValue")), Value::Word(rt.MessageSendTrap())},
                                  Kind::word);
  *trace = events.text();
  return left.word;
}

TEST(NilMessageTest, Arm64ClearsX0X1AndV0ToV3) {
  std::string trace;
  EXPECT_EQ(SendBoolValueToNil(Arch::arm64, &trace), 0u);
  EXPECT_EQ(trace, "send nil boolValue -> NO\n");
}

TEST(NilMessageTest, Armv7ClearsR0AndR1) {
  std::string trace;
  EXPECT_EQ(SendBoolValueToNil(Arch::armv7, &trace), 0u);
  EXPECT_EQ(trace, "send nil boolValue -> NO\n");
}

}  // namespace
}  // namespace device
