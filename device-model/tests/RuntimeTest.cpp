// The model's runtime: the hooking library's three outcomes with the device's semantics (a slot of
// an inherited method follows later replacements on the superclass), dispatch into host and
// emulated implementations, and reference counting with autorelease pools.
#include "DeviceLibraries.h"
#include "ObjCRuntime.h"
#include "TraceWriter.h"

#include <gtest/gtest.h>

namespace device {
namespace {

constexpr uint64_t kCode = 0x1000000;

// A runtime with Foundation and UIKit and a code page standing for the library's image: two
// replacements that return 41 and 42 (arm64: mov x0, #41; ret / mov x0, #42; ret).
class RuntimeTest : public ::testing::Test {
 protected:
  RuntimeTest() : machine_(Arch::arm64), rt_(machine_, trace_) {
    InstallFoundation(rt_, [](const std::string &) { return FileContents{}; });
    InstallUIKit(rt_);
    machine_.Map(kCode, 0x1000, 1 | 4);
    const uint8_t code[] = {0x20, 0x05, 0x80, 0xd2, 0xc0, 0x03, 0x5f, 0xd6,   // mov x0, #41; ret
                            0x40, 0x05, 0x80, 0xd2, 0xc0, 0x03, 0x5f, 0xd6};  // mov x0, #42; ret
    machine_.Write(kCode, code, sizeof code);
    rt_.SetImageRange(kCode, kCode + 0x1000);
    slots_ = rt_.Allocate(64);
    for (int i = 0; i < 8; ++i) machine_.WritePointer(slots_ + 8 * i, kSentinel);
  }

  // A host class whose iconColor returns `value`.
  ClassInfo &HostClass(const std::string &name, const std::string &superclass, uint64_t value) {
    ClassInfo &cls = rt_.DefineClass(name, superclass);
    if (value != 0) {
      rt_.AddMethod(cls, false, "iconColor", [value](Runtime &, uint64_t, uint64_t, const std::vector<Value> &) {
        return Value::Word(value);
      });
    }
    return cls;
  }

  uint64_t CallSlot(int slot, uint64_t receiver) {
    const uint64_t imp = machine_.ReadPointer(slots_ + 8 * slot);
    return rt_.CallImplementation(imp, receiver, rt_.Selector("iconColor"), *FindSelector("iconColor"), {}).word;
  }

  static constexpr uint64_t kSentinel = 0x5e5e5e5e;
  Machine machine_;
  Trace trace_;
  Runtime rt_;
  uint64_t slots_ = 0;
};

TEST_F(RuntimeTest, OwnMethodIsExchangedAndTheSlotHoldsTheHostsImplementation) {
  ClassInfo &icon = HostClass("SPTIconConfiguration", "NSObject", 7);
  const uint64_t sel = rt_.Selector("iconColor");
  const uint64_t host = rt_.LookUpInClass(&icon, false, sel);
  EXPECT_EQ(rt_.HookMessage(icon.handle, sel, kCode, slots_), Runtime::HookOutcome::own);
  EXPECT_EQ(machine_.ReadPointer(slots_), host);
  EXPECT_EQ(rt_.LookUpInClass(&icon, false, sel), kCode);
  const uint64_t object = rt_.Make(icon);
  EXPECT_EQ(rt_.Send("", object, "iconColor").word, 41u) << "dispatch reaches the replacement";
  EXPECT_EQ(CallSlot(0, object), 7u) << "the slot reaches the host";
}

TEST_F(RuntimeTest, InheritedMethodSlotFollowsTheSuperclassAsItIsAtEachCall) {
  ClassInfo &base = HostClass("Base", "NSObject", 7);
  ClassInfo &derived = HostClass("Derived", "Base", 0);
  const uint64_t sel = rt_.Selector("iconColor");
  EXPECT_EQ(rt_.HookMessage(derived.handle, sel, kCode, slots_), Runtime::HookOutcome::inherited);
  EXPECT_EQ(rt_.Definer(&derived, sel), &derived) << "the replacement was added to the class";
  const uint64_t object = rt_.Make(derived);
  EXPECT_EQ(CallSlot(0, object), 7u);
  // A later row replaces the superclass's method: the earlier slot now reaches that replacement.
  EXPECT_EQ(rt_.HookMessage(base.handle, sel, kCode + 8, slots_ + 8), Runtime::HookOutcome::own);
  EXPECT_EQ(CallSlot(0, object), 42u);
  EXPECT_EQ(CallSlot(1, object), 7u);
}

TEST_F(RuntimeTest, NilClassOrAnUnanswerableSelectorChangesNothing) {
  ClassInfo &plain = HostClass("Plain", "NSObject", 0);
  EXPECT_EQ(rt_.HookMessage(0, rt_.Selector("iconColor"), kCode, slots_), Runtime::HookOutcome::none);
  EXPECT_EQ(rt_.HookMessage(plain.handle, rt_.Selector("iconColor"), kCode, slots_ + 8), Runtime::HookOutcome::none);
  EXPECT_EQ(machine_.ReadPointer(slots_), kSentinel);
  EXPECT_EQ(machine_.ReadPointer(slots_ + 8), kSentinel);
  EXPECT_EQ(rt_.LookUpInClass(&plain, false, rt_.Selector("iconColor")), 0u);
}

TEST_F(RuntimeTest, AReplacementOutsideTheImageIsRefused) {
  ClassInfo &icon = HostClass("SPTIconConfiguration", "NSObject", 7);
  EXPECT_THROW(rt_.HookMessage(icon.handle, rt_.Selector("iconColor"), 0x1234, slots_), RunError);
}

TEST_F(RuntimeTest, ClassesAnswerTheirRootsInstanceMethods) {
  ClassInfo &dictionary = rt_.Class("NSDictionary");
  EXPECT_NE(rt_.LookUp(dictionary.handle, rt_.Selector("respondsToSelector:")), 0u);
  EXPECT_NE(rt_.LookUp(dictionary.handle, rt_.Selector("dictionaryWithContentsOfFile:")), 0u);
  EXPECT_EQ(rt_.LookUp(dictionary.handle, rt_.Selector("objectForKey:")), 0u) << "an instance method only";
  EXPECT_TRUE(rt_.Send("", rt_.Make(rt_.Class("UILabel")), "isKindOfClass:", {Value::Word(rt_.Class("UIView").handle)}).word);
}

TEST_F(RuntimeTest, PoolsReleaseWhatWasAutoreleasedAndAFreedObjectCannotBeMessaged) {
  const size_t before = rt_.LiveObjectCount();
  const uint64_t outer = rt_.PushPool();
  const uint64_t kept = rt_.NewStringUTF8("kept");
  rt_.Retain(kept);
  rt_.PushPool();  // popped with the outer pool
  const uint64_t inner = rt_.NewStringUTF8("inner");
  EXPECT_EQ(rt_.LiveObjectCount(), before + 2);
  rt_.PopPool(outer);
  EXPECT_EQ(rt_.Find(inner), nullptr);
  ASSERT_NE(rt_.Find(kept), nullptr);
  EXPECT_EQ(rt_.LiveObjectCount(), before + 1);
  rt_.Release(kept);
  EXPECT_EQ(rt_.LiveObjectCount(), before);
  EXPECT_THROW(rt_.Send("", kept, "boolValue"), RunError);
  EXPECT_THROW(rt_.Release(kept), RunError) << "an over-release stops the run";
  EXPECT_THROW(rt_.PopPool(outer), RunError) << "a pool pops once";
}

TEST_F(RuntimeTest, ADictionaryReleasesItsContentsWithItself) {
  const size_t before = rt_.LiveObjectCount();
  const std::string xml =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><array><string>x</string><true/></array>"
      "<key>b</key><real>0.5</real></dict></plist>";
  const uint64_t dictionary = PropertyListObject(rt_, std::vector<uint8_t>(xml.begin(), xml.end()));
  ASSERT_NE(dictionary, 0u);
  EXPECT_EQ(rt_.Get(dictionary, "test").type, Object::Type::dictionary);
  EXPECT_EQ(rt_.LiveObjectCount(), before + 7);  // the dictionary, two keys, the array, its two items, the real
  rt_.Release(dictionary);
  EXPECT_EQ(rt_.LiveObjectCount(), before);
  const std::string garbage = "not a property list";
  EXPECT_EQ(PropertyListObject(rt_, std::vector<uint8_t>(garbage.begin(), garbage.end())), 0u);
}

// {"k": "#1A\xCDB"}: a binary file's ASCII-typed string with a byte above 127, which the device reads
// as U+00CD; a well-formed UTF-8 string (from XML) reads as UTF-8.
TEST_F(RuntimeTest, APropertyListStringThatIsNotUTF8ReadsAsOneCharacterPerByte) {
  const std::vector<uint8_t> binary = {
      0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd1, 0x01, 0x02, 0x51, 0x6b, 0x55, 0x23, 0x31, 0x41, 0xcd,
      0x42, 0x08, 0x0b, 0x0d, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x13};
  const uint64_t dictionary = PropertyListObject(rt_, binary);
  ASSERT_NE(dictionary, 0u);
  const Object &read = rt_.Get(dictionary, "test");
  ASSERT_EQ(read.entries.size(), 1u);
  EXPECT_EQ(rt_.StringValue(read.entries[0].second), u"#1A\u00cdB");
  const std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key><string>#1A\xc3\x8d" "B</string>"
                          "</dict></plist>";
  const uint64_t fromXml = PropertyListObject(rt_, std::vector<uint8_t>(xml.begin(), xml.end()));
  ASSERT_NE(fromXml, 0u);
  EXPECT_EQ(rt_.StringValue(rt_.Get(fromXml, "test").entries[0].second), u"#1A\u00cdB");
  rt_.Release(dictionary);
  rt_.Release(fromXml);
}

}  // namespace
}  // namespace device
