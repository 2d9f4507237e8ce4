#import "Support.h"

#import "standin/foundation/StandInDevice.h"

#include <dlfcn.h>
#include <math.h>
#include <stdlib.h>

std::vector<id> Items(NSArray *array) {
  std::vector<id> items;
  for (NSUInteger i = 0; i < [array count]; ++i) items.push_back([array objectAtIndex:i]);
  return items;
}

DeviceRoot::DeviceRoot() {
  char pattern[] = "/tmp/duskwell-device-XXXXXX";
  const char *made = mkdtemp(pattern);
  path_ = [[NSString alloc] initWithUTF8String:made != nullptr ? made : "/nonexistent"];
  DWDeviceSetRoot(path_);
  DWDeviceResetReadCounts();
  DWCallLogClear();
}

DeviceRoot::~DeviceRoot() {
  [[NSFileManager defaultManager] removeItemAtPath:path_ error:NULL];
  [path_ release];
}

static NSString *LocalPath(NSString *root, const char *devicePath) {
  NSString *path = [root stringByAppendingString:[NSString stringWithUTF8String:devicePath]];
  [[NSFileManager defaultManager] createDirectoryAtPath:[path stringByDeletingLastPathComponent]
                            withIntermediateDirectories:YES
                                             attributes:nil
                                                  error:NULL];
  return path;
}

void DeviceRoot::Write(const char *devicePath, NSDictionary *contents, PlistFormat format) {
  NSPropertyListFormat plistFormat =
      format == PlistFormat::binary ? NSPropertyListBinaryFormat_v1_0 : NSPropertyListXMLFormat_v1_0;
  NSData *data = [NSPropertyListSerialization dataWithPropertyList:contents format:plistFormat options:0 error:NULL];
  WriteBytes(devicePath, data);
}

void DeviceRoot::WriteBytes(const char *devicePath, NSData *bytes) {
  [bytes writeToFile:LocalPath(path_, devicePath) atomically:YES];
}

void DeviceRoot::Remove(const char *devicePath) {
  [[NSFileManager defaultManager] removeItemAtPath:LocalPath(path_, devicePath) error:NULL];
}

static NSDictionary *MainPrefs(BOOL on, NSString *tabs, NSString *background, NSString *text2) {
  NSMutableDictionary *prefs = [NSMutableDictionary dictionaryWithObject:[NSNumber numberWithBool:on] forKey:@"custom1"];
  if (tabs != nil) [prefs setObject:tabs forKey:@"tabs"];
  if (background != nil) [prefs setObject:background forKey:@"background"];
  if (text2 != nil) [prefs setObject:text2 forKey:@"text2"];
  return prefs;
}

NSDictionary *SwitchOn(NSString *tabs, NSString *background, NSString *text2) {
  return MainPrefs(YES, tabs, background, text2);
}

NSDictionary *SwitchOff(NSString *tabs, NSString *background, NSString *text2) {
  return MainPrefs(NO, tabs, background, text2);
}

NSDictionary *PaletteWith(std::initializer_list<const char *> keys) {
  NSMutableDictionary *palette = [NSMutableDictionary dictionary];
  for (const char *key : keys) [palette setObject:[NSNumber numberWithBool:YES] forKey:[NSString stringWithUTF8String:key]];
  return palette;
}

std::vector<DWCall *> Calls(const char *implementor, const char *selector, id receiver) {
  std::vector<DWCall *> found;
  NSString *wantedImplementor = [NSString stringWithUTF8String:implementor];
  NSString *wantedSelector = [NSString stringWithUTF8String:selector];
  for (DWCall *call : Items(DWCallLogEntries())) {
    if (![call->implementor isEqualToString:wantedImplementor] || ![call->selector isEqualToString:wantedSelector]) continue;
    if (receiver != nil && call->receiver != receiver) continue;
    found.push_back(call);
  }
  return found;
}

std::vector<std::string> Trace(id receiver) {
  std::vector<std::string> trace;
  for (DWCall *call : Items(DWCallLogEntries())) {
    if (call->receiver != receiver) continue;
    trace.push_back(std::string([call->implementor UTF8String]) + " -" + [call->selector UTF8String]);
  }
  return trace;
}

unsigned Reads(const char *devicePath) {
  return static_cast<unsigned>(DWDeviceReadCount([NSString stringWithUTF8String:devicePath]));
}

UIColor *ColorFromBytes(int red, int green, int blue, DWCGFloat alpha) {
  return [UIColor colorWithRed:(DWCGFloat)red / 255 green:(DWCGFloat)green / 255 blue:(DWCGFloat)blue / 255 alpha:alpha];
}

std::string Hex(UIColor *color) {
  if (color == nil) return "nil";
  DWCGFloat c[4];
  if (![color getRed:&c[0] green:&c[1] blue:&c[2] alpha:&c[3]]) return "pattern";
  char text[16];
  int bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<int>(lround(static_cast<double>(c[i]) * 255.0));
  snprintf(text, sizeof text, "#%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

BOOL CallGetPrefBool(NSString *key) {
  using Fn = BOOL (*)(id);
  static Fn getPrefBool;
  if (getPrefBool == nullptr) getPrefBool = reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, "GetPrefBool"));
  return getPrefBool(key);
}

int LiveColors() { return GSDebugAllocationCount([UIColor class]); }

int LiveDictionaries() { return GSDebugAllocationCount(NSClassFromString(@"GSDictionary")); }
