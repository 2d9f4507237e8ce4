// The metadata reader on the fixture apps: the same classes, superclasses, methods, ivars and
// categories whatever the slice, the fix-up form or the method-list form; encrypted, truncated and
// corrupt files refused with what is wrong.
#include "CoverageSupport.h"

#include <algorithm>

namespace device::objc {
namespace {

using coverage::Fixture;

const ClassRecord &ClassNamed(const ImageMetadata &m, const std::string &name) {
  for (const ClassRecord &c : m.classes) {
    if (c.name == name) return c;
  }
  static const ClassRecord none;
  ADD_FAILURE() << "no class " << name;
  return none;
}

// The file offset and size of a section of a thin 64-bit file, or {0, 0}.
std::pair<size_t, size_t> FindSection(const std::vector<uint8_t> &file, const char *name) {
  size_t at = 32;
  for (uint32_t n = 0; n < coverage::Get32(file, 16); ++n, at += coverage::Get32(file, at + 4)) {
    if (coverage::Get32(file, at) != 0x19) continue;
    for (uint32_t s = 0; s < coverage::Get32(file, at + 64); ++s) {
      const size_t section = at + 72 + 80 * s;
      if (std::strncmp(reinterpret_cast<const char *>(&file[section]), name, 16) == 0) {
        return {coverage::Get32(file, section + 48), coverage::Get32(file, section + 40)};
      }
    }
  }
  return {0, 0};
}

bool Has(const std::vector<std::string> &list, const std::string &item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// One line per class and category: what the verdicts depend on, in the file's order.
std::vector<std::string> Outline(const ImageMetadata &m) {
  std::vector<std::string> out;
  auto join = [](const std::vector<std::string> &items) {
    std::string s;
    for (const std::string &i : items) s += i + " ";
    return s;
  };
  for (const ClassRecord &c : m.classes) {
    out.push_back(c.name + " : " + std::to_string(c.superclass.kind) + c.superclass.name + " | " + join(c.instanceMethods) +
                  "| " + join(c.classMethods) + "| " + join(c.ivars));
  }
  for (const CategoryRecord &c : m.categories) {
    out.push_back(c.cls.name + "(" + c.name + ") " + std::to_string(c.cls.kind) + " | " + join(c.instanceMethods) + "| " +
                  join(c.classMethods));
  }
  return out;
}

TEST(ObjCMetadataTest, ReadsTheFullHostsClassesWithTheirSuperclassesMethodsAndIvars) {
  const ImageMetadata m = ReadObjCMetadata(Fixture("FullHost-arm64"), Arch::arm64);
  EXPECT_EQ(m.fixUps, "dyld info opcodes");
  EXPECT_FALSE(m.relativeMethodLists);
  const ClassRecord &module = ClassNamed(m, "SPTArtistNPVTrackModuleView");
  EXPECT_EQ(module.superclass.kind, ClassReference::outside);
  EXPECT_EQ(module.superclass.name, "UIView");
  EXPECT_EQ(module.superclass.library, "/System/Library/Frameworks/UIKit.framework/UIKit");
  EXPECT_TRUE(Has(module.instanceMethods, "layoutSubviews"));
  EXPECT_TRUE(Has(module.ivars, "_gradientView"));
  // The simulated host's cancel button lays out as UIButton does.
  EXPECT_FALSE(Has(ClassNamed(m, "SPTContextMenuViewCancelButton").instanceMethods, "layoutSubviews"));
  const ClassRecord &icon = ClassNamed(m, "SPTIconConfiguration");
  EXPECT_TRUE(Has(icon.classMethods, "configurationWithIconName:color:"));
  EXPECT_EQ(icon.superclass.name, "NSObject");
  EXPECT_EQ(icon.superclass.library, "/usr/lib/libobjc.A.dylib");
  const ClassRecord &label = ClassNamed(m, "GLUELabel");
  EXPECT_EQ(label.superclass.name, "UILabel");
  EXPECT_TRUE(m.categories.empty());
}

TEST(ObjCMetadataTest, EverySliceAndFixUpFormGivesTheSameMetadata) {
  for (const char *app : {"FullHost", "NextVersion", "UIKit"}) {
    SCOPED_TRACE(app);
    const std::vector<std::string> classic = Outline(ReadObjCMetadata(Fixture(std::string(app) + "-arm64"), Arch::arm64));
    ASSERT_FALSE(classic.empty());
    const ImageMetadata chained = ReadObjCMetadata(Fixture(std::string(app) + "-chained"), Arch::arm64);
    EXPECT_EQ(chained.fixUps, "chained fix-ups");
    EXPECT_TRUE(chained.relativeMethodLists);
    EXPECT_EQ(Outline(chained), classic);
    const ImageMetadata armv7 = ReadObjCMetadata(Fixture(std::string(app) + "-armv7"), Arch::armv7);
    EXPECT_EQ(armv7.fixUps, "dyld info opcodes");
    EXPECT_EQ(Outline(armv7), classic);
    const std::vector<uint8_t> &fat = Fixture(std::string(app) + "-fat");
    EXPECT_EQ(SlicesOf(fat), (std::vector<Arch>{Arch::armv7, Arch::arm64}));
    EXPECT_EQ(Outline(ReadObjCMetadata(fat, Arch::arm64)), classic);
    EXPECT_EQ(Outline(ReadObjCMetadata(fat, Arch::armv7)), classic);
  }
}

TEST(ObjCMetadataTest, ReadsCategoriesAndSuperclassesInsideTheApp) {
  const ImageMetadata m = ReadObjCMetadata(Fixture("NextVersion-chained"), Arch::arm64);
  const ClassRecord &cell = ClassNamed(m, "SPTTableViewCell");
  EXPECT_EQ(cell.superclass.kind, ClassReference::local);
  EXPECT_EQ(cell.superclass.name, "SPTBaseTableViewCell");
  EXPECT_FALSE(Has(cell.instanceMethods, "layoutSubviews"));
  ASSERT_EQ(m.categories.size(), 2u);
  EXPECT_EQ(m.categories[0].name, "Theming");
  EXPECT_EQ(m.categories[0].cls.kind, ClassReference::local);
  EXPECT_EQ(m.categories[0].cls.name, "SPTIconConfiguration");
  EXPECT_EQ(m.categories[0].instanceMethods, std::vector<std::string>{"iconColor"});
  EXPECT_EQ(m.categories[1].cls.kind, ClassReference::outside);
  EXPECT_EQ(m.categories[1].cls.name, "UITableViewCellContentView");
  EXPECT_EQ(m.categories[1].cls.library, "/System/Library/Frameworks/UIKit.framework/UIKit");
  EXPECT_EQ(m.categories[1].instanceMethods, std::vector<std::string>{"layoutSubviews"});
}

TEST(ObjCMetadataTest, ARootClassHasNoSuperclass) {
  const ImageMetadata m = ReadObjCMetadata(Fixture("UIKit-armv7"), Arch::armv7);
  const ClassRecord &status = ClassNamed(m, "UIStatusBarForegroundStyleAttributes");
  EXPECT_EQ(status.superclass.kind, ClassReference::outside);
  EXPECT_EQ(ClassNamed(m, "UIButtonLabel").superclass.kind, ClassReference::local);
  EXPECT_EQ(ClassNamed(m, "UIButtonLabel").superclass.name, "UILabel");
}

TEST(ObjCMetadataTest, AnEncryptedImageIsRefused) {
  for (const char *name : {"NextVersion-chained", "NextVersion-arm64", "NextVersion-armv7"}) {
    SCOPED_TRACE(name);
    const Arch arch = std::string(name).find("armv7") != std::string::npos ? Arch::armv7 : Arch::arm64;
    EXPECT_NO_THROW(ReadObjCMetadata(coverage::WithCryptId(Fixture(name), 0), arch));
    try {
      ReadObjCMetadata(coverage::WithCryptId(Fixture(name), 1), arch);
      ADD_FAILURE() << "an encrypted image was read";
    } catch (const ImageError &e) {
      EXPECT_STREQ(e.what(), "encrypted: decrypt the app first");
    }
  }
}

TEST(ObjCMetadataTest, EveryTruncationIsRefusedOrReadWithoutFault) {
  for (const char *name : {"FullHost-arm64", "FullHost-chained", "FullHost-armv7", "FullHost-fat"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> &whole = Fixture(name);
    const Arch arch = std::string(name).find("armv7") != std::string::npos ? Arch::armv7 : Arch::arm64;
    size_t refused = 0, tried = 0;
    for (size_t length = 0; length < whole.size(); length += 1 + length / 16) {
      const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
      ++tried;
      try {
        ReadObjCMetadata(cut, arch);
      } catch (const ImageError &e) {
        ++refused;
        EXPECT_NE(std::string(e.what()), "");
      }
    }
    // Only the end of the link-edit data may go without the metadata noticing.
    EXPECT_GT(refused, tried * 9 / 10);
  }
}

TEST(ObjCMetadataTest, CorruptFilesAreRefusedNamingWhatIsWrong) {
  auto refusal = [](const std::vector<uint8_t> &bytes, Arch arch) -> std::string {
    try {
      ReadObjCMetadata(bytes, arch);
    } catch (const ImageError &e) {
      return e.what();
    }
    return "(read)";
  };
  std::vector<uint8_t> file = Fixture("FullHost-arm64");
  std::vector<uint8_t> bad = file;
  coverage::Put32(bad, 32 + 4, 0);  // the first load command's size
  EXPECT_NE(refusal(bad, Arch::arm64).find("bad size"), std::string::npos) << refusal(bad, Arch::arm64);
  bad = file;
  bad[0] = 0;
  EXPECT_NE(refusal(bad, Arch::arm64).find("not a Mach-O file"), std::string::npos);
  EXPECT_NE(refusal(file, Arch::armv7).find("the file is arm64, not armv7"), std::string::npos);
  EXPECT_NE(refusal(std::vector<uint8_t>(3, 0), Arch::arm64).find("3 bytes"), std::string::npos);
  // Every pointer of the class list sent nowhere.
  bad = file;
  const ImageMetadata m = ReadObjCMetadata(file, Arch::arm64);
  ASSERT_FALSE(m.classes.empty());
  const size_t list = FindSection(file, "__objc_classlist").first;
  ASSERT_NE(list, 0u);
  coverage::Put32(bad, list, 0x7fff0000);
  EXPECT_NE(refusal(bad, Arch::arm64).find("lies in no segment"), std::string::npos) << refusal(bad, Arch::arm64);
  // A method list claiming two billion methods: the first list of pointer entries in __objc_const.
  bad = file;
  const auto [constant, constantSize] = FindSection(file, "__objc_const");
  size_t methods = 0;
  for (size_t at = constant; at + 8 <= constant + constantSize && methods == 0; at += 8) {
    if (coverage::Get32(file, at) == 24 && coverage::Get32(file, at + 4) > 0 && coverage::Get32(file, at + 4) < 64) methods = at;
  }
  ASSERT_NE(methods, 0u);
  coverage::Put32(bad, methods + 4, 0x7fffffff);
  EXPECT_NE(refusal(bad, Arch::arm64).find("claims 2147483647 entries, more than the file holds"), std::string::npos)
      << refusal(bad, Arch::arm64);
}

}  // namespace
}  // namespace device::objc
