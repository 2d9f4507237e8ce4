// The stand-in's property-list reader against the table both executors' readers are held to
// (tests/property-list-readings.json), then old-style text and keys holding NUL through the
// library's own reads.
#import "tests/Support.h"

#import "standin/foundation/PropertyListFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::u16string Units(NSString *string) {
  std::u16string units([string length], u'\0');
  [string getCharacters:reinterpret_cast<unichar *>(&units[0]) range:NSMakeRange(0, [string length])];
  return units;
}

std::string Quoted(NSString *string) {
  std::string out = "\"";
  for (char16_t c : Units(string)) {
    if (c == '"' || c == '\\') {
      out += '\\', out += static_cast<char>(c);
    } else if (c == '\b' || c == '\f' || c == '\n' || c == '\r' || c == '\t') {
      out += '\\', out += "bfnrt"[std::string("\b\f\n\r\t").find(static_cast<char>(c))];
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

// The object in the table's canonical form.
std::string Canonical(id object) {
  std::string out;
  if ([object isKindOfClass:[NSDictionary class]]) {
    std::vector<id> keys = Items([object allKeys]);
    std::sort(keys.begin(), keys.end(), [](id a, id b) { return Units(a) < Units(b); });
    for (id key : keys) out += (out.empty() ? "" : ", ") + Quoted(key) + ": " + Canonical([object objectForKey:key]);
    return "{" + out + "}";
  }
  if ([object isKindOfClass:[NSArray class]]) {
    for (id item : Items(object)) out += (out.empty() ? "" : ", ") + Canonical(item);
    return "[" + out + "]";
  }
  if ([object isKindOfClass:[NSString class]]) return Quoted(object);
  if (object == [NSNumber numberWithBool:YES]) return "true";
  if (object == [NSNumber numberWithBool:NO]) return "false";
  if ([object isKindOfClass:[NSNumber class]]) {
    const char type = *[object objCType];
    if (type != 'd' && type != 'f') return std::to_string([object longLongValue]);
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", [object doubleValue]);
    out = text;
    return std::isfinite([object doubleValue]) && out.find_first_of(".e") == std::string::npos ? out + ".0" : out;
  }
  if ([object isKindOfClass:[NSDate class]]) return "date";
  if ([object isKindOfClass:[NSData class]]) {
    const uint8_t *bytes = static_cast<const uint8_t *>([object bytes]);
    for (NSUInteger i = 0; i < [object length]; ++i) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
      out += hex;
    }
    return "<" + out + ">";
  }
  return "other";
}

NSData *Text(const std::string &text) { return [NSData dataWithBytes:text.data() length:text.size()]; }

// Every object the stand-in counts, of every class.
long LiveObjects() {
  long total = 0;
  for (Class *cls = GSDebugAllocationClassList(); cls != NULL && *cls != Nil; ++cls) total += GSDebugAllocationCount(*cls);
  return total;
}

}  // namespace

TEST(PropertyListReading, ReadsEveryCaseOfTheSharedTable) {
  NSData *file = [NSData dataWithContentsOfFile:@DUSKWELL_PROPERTY_LIST_READINGS];
  ASSERT_NE(file, nil);
  NSDictionary *table = [NSJSONSerialization JSONObjectWithData:file options:0 error:NULL];
  NSArray *cases = [table objectForKey:@"cases"];
  ASSERT_GT([cases count], 40u);
  long before = 0;
  for (int pass = 0; pass < 3; ++pass) {  // the first pass fills GNUstep's caches
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    if (pass == 1) before = LiveObjects();
    for (NSDictionary *reading : Items(cases)) {
      NSString *name = [reading objectForKey:@"name"];
      NSString *base64 = [reading objectForKey:@"base64"];
      NSData *bytes = base64 != nil ? [[[NSData alloc] initWithBase64EncodedString:base64 options:0] autorelease]
                                    : [[reading objectForKey:@"text"] dataUsingEncoding:NSUTF8StringEncoding];
      ASSERT_NE(bytes, nil) << [name UTF8String];
      DWPropertyListReadResult result;
      id read = DWPropertyListFromBytes([bytes bytes], [bytes length], &result);
      if (pass > 0) {  // the later passes count what is left
        [read release];
        continue;
      }
      id expected = [reading objectForKey:@"reads"];
      if (expected == [NSNull null]) {
        EXPECT_EQ(read, nil) << [name UTF8String] << ": read as " << Canonical(read);
        EXPECT_NE(result.outcome, DWPropertyListRead) << [name UTF8String];
      } else {
        EXPECT_NE(read, nil) << [name UTF8String];
        if (read != nil) {
          EXPECT_EQ(Canonical(read), std::string([expected UTF8String])) << [name UTF8String];
        }
      }
      [read release];
    }
    [pool release];
  }
  EXPECT_EQ(LiveObjects(), before) << "a read, or a failed one, leaves nothing behind";
}

// Old-style text through the library's reads: every leaf a string, answered by its boolValue and
// read by the colour picker; nesting bounded as in the other forms, with the outcome's reason.
TEST(PropertyListReading, OldStyleTextIsReadByTheLibrary) {
  DeviceRoot device;
  device.WriteBytes(kMainPrefs, Text("{ custom1 = YES; background = \"#1A2B3C\"; }"));
  UIView *view = [[[UIView alloc] init] autorelease];
  [view setBackgroundColor:[UIColor whiteColor]];
  EXPECT_EQ(Hex([view backgroundColor]), "#1A2B3CFF");
  device.WriteBytes(kMainPrefs, Text("\"custom1\" = \"0\";\n"));
  EXPECT_FALSE(CallGetPrefBool(@"custom1")) << "the strings-file form, the string \"0\"";
  device.WriteBytes(kMainPrefs, Text("custom1 = 1;\n"));
  EXPECT_TRUE(CallGetPrefBool(@"custom1"));

  std::string deep = "{ custom1 = 1; deep = ";
  DWPropertyListReadResult result;
  for (int levels : {int(DWPropertyListMaxDepth) - 1, int(DWPropertyListMaxDepth), 100000}) {
    std::string text = deep + std::string(levels, '(') + std::string(levels, ')') + "; }";
    device.WriteBytes(kMainPrefs, Text(text));
    EXPECT_EQ(CallGetPrefBool(@"custom1"), levels < DWPropertyListMaxDepth) << levels << " arrays";
    id read = DWPropertyListFromBytes(text.data(), text.size(), &result);
    EXPECT_EQ(result.outcome, levels < DWPropertyListMaxDepth ? DWPropertyListRead : DWPropertyListTooDeep);
    [read release];
  }
  EXPECT_EQ(std::string([DWPropertyListOutcomeText(&result) UTF8String]),
            "it nests arrays or dictionaries deeper than 512 levels");
  const std::string broken = "{ custom1 = 1 }";
  EXPECT_EQ(DWPropertyListFromBytes(broken.data(), broken.size(), &result), nil);
  EXPECT_EQ(std::string([DWPropertyListOutcomeText(&result) UTF8String]),
            "it is not a readable property list (binary, XML or old-style text)");
}

// A binary file's keys are read whole: "custom1\0x" is not the master switch, though libplist would
// have cut it to "custom1" (ASCII) or aborted (UTF-16).
TEST(PropertyListReading, BinaryKeysHoldingNulAreOtherKeys) {
  DeviceRoot device;
  NSString *nulKey = [[[NSString alloc] initWithCharacters:(const unichar[]){'c', 'u', 's', 't', 'o', 'm', '1', 0, 0xE9}
                                                    length:9] autorelease];
  for (NSString *key : {[nulKey substringToIndex:8], nulKey}) {  // ASCII-typed, UTF-16
    NSDictionary *contents = [NSDictionary dictionaryWithObject:[NSNumber numberWithBool:YES] forKey:key];
    NSData *bytes = [NSPropertyListSerialization dataWithPropertyList:contents format:NSPropertyListBinaryFormat_v1_0
                                                              options:0 error:NULL];
    device.WriteBytes(kMainPrefs, bytes);
    EXPECT_FALSE(CallGetPrefBool(@"custom1")) << [key length] << " characters";
    DWPropertyListReadResult result;
    NSDictionary *read = DWPropertyListFromBytes([bytes bytes], [bytes length], &result);
    EXPECT_EQ(result.outcome, DWPropertyListRead);
    EXPECT_EQ([read objectForKey:key], [NSNumber numberWithBool:YES]);
    [read release];
  }
}
