// Whatever a preference file holds or is, the host lives on and the library reads a dictionary or
// nothing, as on the device: damaged and crafted binary files, deep nesting, files that are not
// regular files, and files past the size limit.
#import "tests/Support.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// A binary property list built object by object, references and offsets four bytes wide.
class BinaryPlist {
 public:
  // Appends an object's bytes and returns its index.
  uint32_t Add(std::string bytes) {
    objects_.push_back(bytes);
    return static_cast<uint32_t>(objects_.size() - 1);
  }
  static std::string Ref(uint32_t index) {
    return std::string{char(index >> 24), char(index >> 16), char(index >> 8), char(index)};
  }
  static std::string Ascii(const std::string &text) { return std::string(1, char(0x50 | text.size())) + text; }
  static std::string Array(const std::vector<uint32_t> &items) {
    std::string bytes = Count(0xA0, items.size());
    for (uint32_t item : items) bytes += Ref(item);
    return bytes;
  }
  static std::string Dictionary(const std::vector<uint32_t> &keys, const std::vector<uint32_t> &values) {
    std::string bytes = Count(0xD0, keys.size());
    for (uint32_t key : keys) bytes += Ref(key);
    for (uint32_t value : values) bytes += Ref(value);
    return bytes;
  }
  NSData *Data(uint32_t top = 0) const {
    std::string file = "bplist00";
    std::vector<uint32_t> offsets;
    for (const std::string &object : objects_) {
      offsets.push_back(static_cast<uint32_t>(file.size()));
      file += object;
    }
    uint64_t table = file.size();
    for (uint32_t offset : offsets) file += Ref(offset);
    file += std::string(6, '\0') + char(4) + char(4) + Big(objects_.size()) + Big(top) + Big(table);
    return [NSData dataWithBytes:file.data() length:file.size()];
  }

 private:
  static std::string Count(int marker, size_t count) {
    if (count < 15) return std::string(1, char(marker | count));
    return std::string(1, char(marker | 0xF)) + char(0x12) + Ref(static_cast<uint32_t>(count));
  }
  static std::string Big(uint64_t value) {
    std::string bytes;
    for (int shift = 56; shift >= 0; shift -= 8) bytes += char(value >> shift);
    return bytes;
  }
  std::vector<std::string> objects_;
};

// {"custom1": true, key: value}, with `value` given as raw object bytes.
NSData *SwitchOnBeside(const std::string &key, const std::string &value) {
  BinaryPlist plist;
  plist.Add(BinaryPlist::Dictionary({1, 2}, {3, 4}));
  plist.Add(BinaryPlist::Ascii("custom1"));
  plist.Add(BinaryPlist::Ascii(key));
  plist.Add(std::string(1, '\x09'));
  plist.Add(value);
  return plist.Data();
}

NSData *BinaryData(NSDictionary *dictionary) {
  return [NSPropertyListSerialization dataWithPropertyList:dictionary
                                                    format:NSPropertyListBinaryFormat_v1_0
                                                   options:0
                                                     error:NULL];
}

// {"custom1": true, "deep": [[[...]]]} with `depth` arrays.
NSData *NestedBinary(uint32_t depth) {
  BinaryPlist plist;
  plist.Add(BinaryPlist::Dictionary({1, 2}, {3, 4}));
  plist.Add(BinaryPlist::Ascii("custom1"));
  plist.Add(BinaryPlist::Ascii("deep"));
  plist.Add(std::string(1, '\x09'));
  for (uint32_t level = 0; level < depth; ++level) {
    plist.Add(level + 1 < depth ? BinaryPlist::Array({level + 5}) : BinaryPlist::Array({}));
  }
  return plist.Data();
}

NSData *NestedXML(unsigned depth) {
  std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>custom1</key><true/><key>deep</key>";
  for (unsigned i = 0; i < depth; ++i) xml += "<array>";
  for (unsigned i = 0; i < depth; ++i) xml += "</array>";
  xml += "</dict></plist>";
  return [NSData dataWithBytes:xml.data() length:xml.size()];
}

std::string Local(DeviceRoot &device, const char *devicePath) {
  return std::string([[device.Path() stringByAppendingString:[NSString stringWithUTF8String:devicePath]]
      fileSystemRepresentation]);
}

// Every reader of the library at once: the switch, a colour and a palette rule through the host.
struct Readings {
  bool switchOn;
  std::string background;
};

Readings ReadAll() {
  UIView *view = [[[UIView alloc] init] autorelease];
  [view setBackgroundColor:[UIColor whiteColor]];
  return {CallGetPrefBool(@"custom1") != NO, Hex([view backgroundColor])};
}

}  // namespace

TEST(HostileFiles, EveryTruncationOfABinaryFileReadsAsNoFile) {
  DeviceRoot device;
  NSData *whole = BinaryData(SwitchOn(@"#101010", @"#202020", @"#303030"));
  for (NSUInteger length = 0; length < [whole length]; ++length) {
    device.WriteBytes(kMainPrefs, [whole subdataWithRange:NSMakeRange(0, length)]);
    EXPECT_FALSE(CallGetPrefBool(@"custom1")) << "first " << length << " bytes";
  }
  device.WriteBytes(kMainPrefs, whole);
  Readings whole_ = ReadAll();
  EXPECT_TRUE(whole_.switchOn);
  EXPECT_EQ(whole_.background, "#202020FF");
  EXPECT_EQ(Reads(kMainPrefs), [whole length] + 3);  // one per truncation, then the switch, colour and switch
}

// Every single-byte change of a valid file: the host survives, and each read is a whole answer.
TEST(HostileFiles, CorruptedBytesNeverTakeTheHostDown) {
  DeviceRoot device;
  NSData *whole = BinaryData(SwitchOn(@"#101010", @"#202020"));
  const uint8_t values[] = {0x00, 0x5F, 0xDF, 0xFF};
  for (NSUInteger at = 0; at < [whole length]; ++at) {
    for (uint8_t value : values) {
      NSMutableData *bytes = [NSMutableData dataWithData:whole];
      static_cast<uint8_t *>([bytes mutableBytes])[at] = value;
      device.WriteBytes(kMainPrefs, bytes);
      Readings readings = ReadAll();
      // With the switch off the filter leaves white alone; on, the white is replaced.
      EXPECT_EQ(readings.switchOn, readings.background != "#FFFFFFFF") << readings.background << " at " << at;
    }
  }
}

TEST(HostileFiles, CraftedBinaryObjectsReadAsNoFile) {
  DeviceRoot device;
  // A string that claims 2^62 bytes.
  device.WriteBytes(kMainPrefs, SwitchOnBeside("tabs", std::string("\x5F\x13\x40\0\0\0\0\0\0\0abc", 13)));
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  // A reference past the last object.
  BinaryPlist outOfRange;
  outOfRange.Add(BinaryPlist::Dictionary({1}, {7}));
  outOfRange.Add(BinaryPlist::Ascii("custom1"));
  device.WriteBytes(kMainPrefs, outOfRange.Data());
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  // An array that holds itself.
  BinaryPlist cycle;
  cycle.Add(BinaryPlist::Dictionary({1}, {2}));
  cycle.Add(BinaryPlist::Ascii("custom1"));
  cycle.Add(BinaryPlist::Array({2}));
  device.WriteBytes(kMainPrefs, cycle.Data());
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  // A key that is an integer.
  BinaryPlist integerKey;
  integerKey.Add(BinaryPlist::Dictionary({1, 2}, {3, 3}));
  integerKey.Add(BinaryPlist::Ascii("custom1"));
  integerKey.Add(std::string("\x10\x05", 2));
  integerKey.Add(std::string(1, '\x09'));
  device.WriteBytes(kMainPrefs, integerKey.Data());
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  // A string that runs into the offset table.
  device.WriteBytes(kMainPrefs, SwitchOnBeside("tabs", std::string("\x5F\x10\x40" "abc", 6)));
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  // 60 arrays each holding the next twice: 2^60 objects once expanded.
  BinaryPlist shared;
  shared.Add(BinaryPlist::Dictionary({1}, {2}));
  shared.Add(BinaryPlist::Ascii("custom1"));
  for (uint32_t level = 0; level < 60; ++level) shared.Add(BinaryPlist::Array({level + 3, level + 3}));
  shared.Add(std::string(1, '\x09'));
  device.WriteBytes(kMainPrefs, shared.Data());
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
}

// Common writers store 2^64-1 in 16 bytes; the device keeps the low 64 bits and reads the file.
TEST(HostileFiles, SixteenByteIntegersAreRead) {
  DeviceRoot device;
  std::string sixteen = std::string(1, '\x14') + std::string(8, '\0') + std::string(8, '\xFF');
  device.WriteBytes(kMainPrefs, SwitchOnBeside("big", sixteen));
  EXPECT_TRUE(CallGetPrefBool(@"custom1"));
  EXPECT_TRUE(CallGetPrefBool(@"big"));
  std::string one = std::string(1, '\x14') + std::string(15, '\0') + std::string(1, '\x01');
  device.WriteBytes(kMainPrefs, SwitchOnBeside("custom2", one));
  EXPECT_TRUE(CallGetPrefBool(@"custom2"));
}

TEST(HostileFiles, NestingPastTheLimitReadsAsNoFile) {
  DeviceRoot device;
  device.WriteBytes(kMainPrefs, NestedBinary(100000));
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  device.WriteBytes(kMainPrefs, NestedXML(100000));
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  // The top dictionary and 511 arrays are 512 levels, the limit; one more is past it.
  device.WriteBytes(kMainPrefs, NestedBinary(511));
  EXPECT_TRUE(CallGetPrefBool(@"custom1"));
  device.WriteBytes(kMainPrefs, NestedXML(511));
  EXPECT_TRUE(CallGetPrefBool(@"custom1"));
  device.WriteBytes(kMainPrefs, NestedBinary(512));
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  device.WriteBytes(kMainPrefs, NestedXML(512));
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
}

TEST(HostileFiles, OnlyRegularFilesAreRead) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn());
  const std::string main = Local(device, kMainPrefs);
  ASSERT_EQ(unlink(main.c_str()), 0);

  ASSERT_EQ(mkdir(main.c_str(), 0755), 0);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  rmdir(main.c_str());

  ASSERT_EQ(mkfifo(main.c_str(), 0644), 0);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));  // returns at once, no writer needed
  int writer = open(main.c_str(), O_RDWR | O_NONBLOCK);  // a FIFO with data waiting
  NSData *valid = BinaryData(SwitchOn());
  ASSERT_EQ(write(writer, [valid bytes], [valid length]), static_cast<ssize_t>([valid length]));
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  close(writer);
  unlink(main.c_str());

  ASSERT_EQ(symlink("/dev/zero", main.c_str()), 0);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  unlink(main.c_str());
  ASSERT_EQ(symlink("/dev/null", main.c_str()), 0);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  unlink(main.c_str());

  ASSERT_EQ(symlink(main.c_str(), main.c_str()), 0);  // a loop
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  unlink(main.c_str());

  int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (main.size() < sizeof address.sun_path) {
    memcpy(address.sun_path, main.c_str(), main.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    EXPECT_FALSE(CallGetPrefBool(@"custom1"));
    unlink(main.c_str());
  }
  close(sock);

  // A symbolic link to a regular file is read through.
  device.Write(kTextPalette, SwitchOn());
  ASSERT_EQ(symlink(Local(device, kTextPalette).c_str(), main.c_str()), 0);
  EXPECT_TRUE(CallGetPrefBool(@"custom1"));
  EXPECT_EQ(Reads(kMainPrefs), 8u);
}

TEST(HostileFiles, FilesPastTheSizeLimitAreNotRead) {
  DeviceRoot device;
  // Just under the limit: the whole file is read, past the first block.
  NSData *valid = [NSPropertyListSerialization dataWithPropertyList:SwitchOn()
                                                             format:NSPropertyListXMLFormat_v1_0
                                                            options:0
                                                              error:NULL];
  NSMutableData *padded = [NSMutableData dataWithData:valid];
  [padded increaseLengthBy:(16u << 20) - [valid length]];
  memset(static_cast<char *>([padded mutableBytes]) + [valid length], ' ', [padded length] - [valid length]);
  device.WriteBytes(kMainPrefs, padded);
  EXPECT_TRUE(CallGetPrefBool(@"custom1"));
  // One byte more, and a sparse file of 16 GiB: refused before anything is read into memory.
  [padded appendBytes:" " length:1];
  device.WriteBytes(kMainPrefs, padded);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  int fd = open(Local(device, kMainPrefs).c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, [valid bytes], [valid length], 0), static_cast<ssize_t>([valid length]));
  ASSERT_EQ(ftruncate(fd, 1ll << 34), 0);
  close(fd);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
}
