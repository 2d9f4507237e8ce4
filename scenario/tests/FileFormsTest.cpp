// The four files: each form made into the bytes an executor puts at the path.
#include "Files.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace dw::scenario {
namespace {

FileSpec MainFile(const std::string &form) { return ReadScenario(WriteScenarioFile(ScenarioText(form))).files[0].second; }

std::vector<uint8_t> Bytes(const std::string &text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The binary property list's top level, as libplist reads it back.
std::unique_ptr<void, void (*)(plist_t)> ParsedPlist(const std::vector<uint8_t> &bytes) {
  plist_t root = nullptr;
  plist_from_bin(reinterpret_cast<const char *>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
  return {root, plist_free};
}

TEST(ScenarioFileFormsTest, AbsentAndUnreadableHaveNoBytes) {
  EXPECT_EQ(MainFile(R"("absent")").kind, FileSpec::Absent);
  EXPECT_EQ(MainFile(R"("unreadable")").kind, FileSpec::Unreadable);
  EXPECT_TRUE(MainFile(R"("unreadable")").bytes.empty());
}

TEST(ScenarioFileFormsTest, TextFormsAndBase64AreTheExactBytes) {
  const FileSpec xml = MainFile(R"({"xml": "<?xml version=\"1.0\"?>\n<plist><dict/></plist>"})");
  EXPECT_EQ(xml.kind, FileSpec::Bytes);
  EXPECT_EQ(xml.bytes, Bytes("<?xml version=\"1.0\"?>\n<plist><dict/></plist>"));
  EXPECT_EQ(MainFile(R"({"openstep": "{ custom1 = \"1\"; /* \u00e9 */ }"})").bytes,
            Bytes("{ custom1 = \"1\"; /* \xc3\xa9 */ }"));
  EXPECT_EQ(MainFile(R"({"base64": "bm90IGEgcHJvcGVydHkgbGlzdAo="})").bytes, Bytes("not a property list\n"));
  EXPECT_EQ(MainFile(R"({"base64": "AP8="})").bytes, (std::vector<uint8_t>{0x00, 0xff}));
  EXPECT_EQ(MainFile(R"({"base64": "AP8"})").bytes, (std::vector<uint8_t>{0x00, 0xff})) << "padding may be left out";
  EXPECT_EQ(MainFile(R"({"base64": ""})").kind, FileSpec::Bytes) << "an empty file";
  EXPECT_TRUE(MainFile(R"({"base64": ""})").bytes.empty());
}

TEST(ScenarioFileFormsTest, RefusesFormsThatDoNotFit) {
  EXPECT_EQ(Refusal(ScenarioText(R"("missing")")), "files.main: expected \"absent\", \"unreadable\" or an object");
  EXPECT_EQ(Refusal(ScenarioText(R"({"plist": {}, "xml": ""})")),
            "files.main: expected {\"plist\": …}, {\"xml\": …}, {\"openstep\": …} or {\"base64\": …}");
  EXPECT_EQ(Refusal(ScenarioText(R"({"json": {}})")), "files.main: unknown file form \"json\"");
  EXPECT_EQ(Refusal(ScenarioText(R"({"xml": 1})")), "files.main.xml: expected a string");
  EXPECT_EQ(Refusal(ScenarioText(R"({"base64": "AP8=AA=="})")), "files.main.base64: not base64: padding before the end");
  EXPECT_EQ(Refusal(ScenarioText(R"({"base64": "AP-8"})")), "files.main.base64: not base64");
  EXPECT_EQ(Refusal(ScenarioText(R"({"base64": "AP8AA"})")), "files.main.base64: not base64: cut short or padded too far");
  EXPECT_EQ(Refusal(ScenarioText(R"({"plist": {"k": null}})")), "files.main.plist.k: null has no property-list form");
  EXPECT_EQ(Refusal(ScenarioText(R"({"plist": {"list": [1, null]}})")),
            "files.main.plist.list[1]: null has no property-list form");
  EXPECT_EQ(Refusal(ScenarioText(R"({"plist": {"k": ["x\u0000y"]}})")),
            "files.main.plist.k[0]: U+0000 cannot be written in this form (give the file as base64)");
  EXPECT_EQ(Refusal(ScenarioText(R"({"plist": {"a\u0000b": 1}})")),
            "files.main.plist: U+0000 cannot be written in this form (give the file as base64)");
}

TEST(ScenarioFileFormsTest, PlistIsABinaryListOfTheValue) {
  const FileSpec file = MainFile(
      R"({"plist": {"custom1": true, "background": "#1A2B3C", "red2": 1, "minus": -2, "alpha": 0.5, "whole": 1.0,
                    "list": ["a", false]}})");
  ASSERT_EQ(file.kind, FileSpec::Bytes);
  ASSERT_GE(file.bytes.size(), 8u);
  EXPECT_EQ(std::string(file.bytes.begin(), file.bytes.begin() + 8), "bplist00");
  const auto root = ParsedPlist(file.bytes);
  ASSERT_EQ(plist_get_node_type(root.get()), PLIST_DICT);
  EXPECT_EQ(plist_dict_get_size(root.get()), 7u);

  uint8_t flag = 0;
  plist_get_bool_val(plist_dict_get_item(root.get(), "custom1"), &flag);
  EXPECT_EQ(flag, 1);
  char *text = nullptr;
  plist_get_string_val(plist_dict_get_item(root.get(), "background"), &text);
  EXPECT_STREQ(text, "#1A2B3C");
  free(text);
  uint64_t integer = 0;
  EXPECT_EQ(plist_get_node_type(plist_dict_get_item(root.get(), "red2")), PLIST_UINT);
  plist_get_uint_val(plist_dict_get_item(root.get(), "red2"), &integer);
  EXPECT_EQ(integer, 1u);
  plist_get_uint_val(plist_dict_get_item(root.get(), "minus"), &integer);
  EXPECT_EQ(static_cast<int64_t>(integer), -2);
  double real = 0;
  plist_get_real_val(plist_dict_get_item(root.get(), "alpha"), &real);
  EXPECT_EQ(real, 0.5);
  EXPECT_EQ(plist_get_node_type(plist_dict_get_item(root.get(), "whole")), PLIST_REAL) << "written with a fraction";
  plist_t list = plist_dict_get_item(root.get(), "list");
  ASSERT_EQ(plist_get_node_type(list), PLIST_ARRAY);
  EXPECT_EQ(plist_array_get_size(list), 2u);
  EXPECT_EQ(plist_get_node_type(plist_array_get_item(list, 1)), PLIST_BOOLEAN);
}

TEST(ScenarioFileFormsTest, PlistMayHoldNoDictionary) {
  const auto root = ParsedPlist(MainFile(R"({"plist": ["custom1"]})").bytes);
  ASSERT_EQ(plist_get_node_type(root.get()), PLIST_ARRAY);
  EXPECT_EQ(plist_array_get_size(root.get()), 1u);
}

}  // namespace
}  // namespace dw::scenario
