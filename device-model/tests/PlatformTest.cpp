// Foundation's and the colour picker's semantics as the device gives them: boolValue of strings,
// the hex scan with symbols skipped, the symbol set, and the picker's colour strings.
#include "DeviceLibraries.h"

#include <gtest/gtest.h>

namespace device {
namespace {

TEST(StringBoolValueTest, LeadingSpaceSignAndZerosThenADigitOrYT) {
  for (const char16_t *yes : {u"YES", u"yes", u"true", u"T", u"1", u"9", u"0001", u"  1", u"+1", u"-5", u"\t\ny"}) {
    EXPECT_TRUE(StringBoolValue(yes)) << std::string(yes, yes + std::char_traits<char16_t>::length(yes));
  }
  for (const char16_t *no : {u"", u"0", u"NO", u"no", u"false", u"0x1", u"+-1", u" ", u"00", u"x1", u"\u0661"}) {
    EXPECT_FALSE(StringBoolValue(no)) << std::string(no, no + std::char_traits<char16_t>::length(no));
  }
}

uint32_t Scan(const std::u16string &text, bool *found, size_t *end = nullptr) {
  size_t location = 0;
  uint32_t value = 0xdeadbeef;
  *found = ScanHexInt(text, location, IsSymbol, &value);
  if (end != nullptr) *end = location;
  return value;
}

TEST(ScanHexIntTest, TheCasesTheColourCategoryRelyOn) {
  bool found;
  EXPECT_EQ(Scan(u"FFFFFF", &found), 0xFFFFFFu);
  EXPECT_TRUE(found);
  EXPECT_EQ(Scan(u"121212", &found), 0x121212u);
  EXPECT_EQ(Scan(u"FFF", &found), 0xFFFu);
  EXPECT_EQ(Scan(u"80FF0000", &found), 0x80FF0000u);
  EXPECT_EQ(Scan(u"$FF00FF", &found), 0xFF00FFu) << "a currency symbol is skipped";
  EXPECT_EQ(Scan(u"+FF00FF", &found), 0xFF00FFu) << "a math symbol is skipped";
  EXPECT_EQ(Scan(u"^~`|<=>ab", &found), 0xABu);
  size_t end;
  EXPECT_EQ(Scan(u"12zz", &found, &end), 0x12u);
  EXPECT_EQ(end, 2u) << "what follows the digits stays";
  EXPECT_EQ(Scan(u"0x1f", &found), 0x1Fu) << "an optional 0x";
  EXPECT_EQ(Scan(u"123456789", &found), 0xFFFFFFFFu) << "overflow saturates";
  EXPECT_TRUE(found);
  for (const char16_t *none : {u"", u" FF", u"xyz", u"#FF", u"-FF", u".5"}) {
    EXPECT_EQ(Scan(none, &found), 0xdeadbeefu);
    EXPECT_FALSE(found) << "nothing scanned, nothing written";
  }
}

TEST(ScanHexIntTest, SymbolsAreUnicodeCategoryS) {
  for (char32_t c : {U'$', U'+', U'<', U'=', U'>', U'^', U'`', U'|', U'~', U'\u00a9', U'\u20ac', U'\u2211', U'\U0001F600'}) {
    EXPECT_TRUE(IsSymbol(c)) << static_cast<uint32_t>(c);
  }
  for (char32_t c : {U'#', U'.', U' ', U'A', U'0', U'-', U'_', U'!', U'\u00e9'}) {
    EXPECT_FALSE(IsSymbol(c)) << static_cast<uint32_t>(c);
  }
  bool found;
  EXPECT_EQ(Scan(u"\U0001F600\u20acA0", &found), 0xA0u) << "a symbol outside the BMP is skipped whole";
}

TEST(PickerColorTest, HexForms) {
  struct Form {
    const char16_t *text;
    double red, green, blue, alpha;
  };
  const Form forms[] = {{u"#1A2B3C", 0x1A, 0x2B, 0x3C, 1}, {u"1a2b3c", 0x1A, 0x2B, 0x3C, 1},
                        {u"#FA0", 0xFF, 0xAA, 0x00, 1},      {u"#102030:0.25", 0x10, 0x20, 0x30, 0.25},
                        {u"#102030:1", 0x10, 0x20, 0x30, 1}, {u"#abc:.5", 0xAA, 0xBB, 0xCC, 0.5}};
  double c[4];
  for (const Form &form : forms) {
    const std::string text(form.text, form.text + std::char_traits<char16_t>::length(form.text));
    ASSERT_TRUE(ParsePickerColor(form.text, c)) << text;
    EXPECT_EQ(std::vector<double>(c, c + 4), std::vector<double>({form.red, form.green, form.blue, form.alpha})) << text;
  }
  for (const char16_t *bad : {u"", u"#", u"#12345", u"#1234567", u"#GG0000", u"##102030", u"#102030:", u"#102030:1.5",
                              u"#102030:-0.5", u"#102030:0.5.5", u"#102030:.", u"red", u" #102030"}) {
    EXPECT_FALSE(ParsePickerColor(bad, c)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
}

}  // namespace
}  // namespace device
