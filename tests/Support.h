// What the tests share: a fresh device root per test, preference files written into it the way the
// device's settings write them, and questions asked of the host's call log.
#pragma once

#import <Foundation/Foundation.h>

#include <string>
#include <vector>

#import "standin/foundation/CallLog.h"
#import "standin/foundation/StandInDevice.h"
#import "standin/uikit/UIKit.h"

// The objects of an array, for range-based loops (Objective-C++ here has no fast enumeration).
std::vector<id> Items(NSArray *array);

enum class PlistFormat { binary, xml };

constexpr const char *kMainPrefs = "/var/mobile/Library/Preferences/com.tervan.duskwell.plist";
constexpr const char *kIconPalette = "/var/mobile/Library/Preferences/com.tervan.icon.plist";
constexpr const char *kTextPalette = "/var/mobile/Library/Preferences/com.tervan.textc.plist";
constexpr const char *kStatusPalette = "/var/mobile/Library/Preferences/com.tervan.status.plist";

// A temporary directory that is the device's file system while it lives.
class DeviceRoot {
 public:
  DeviceRoot();
  ~DeviceRoot();
  void Write(const char *devicePath, NSDictionary *contents, PlistFormat format = PlistFormat::binary);
  void WriteBytes(const char *devicePath, NSData *bytes);
  void Remove(const char *devicePath);
  NSString *Path() const { return path_; }

 private:
  NSString *path_;
};

// The master switch on, with the given colour keys (nil values are left out).
NSDictionary *SwitchOn(NSString *tabs = nil, NSString *background = nil, NSString *text2 = nil);
NSDictionary *SwitchOff(NSString *tabs = nil, NSString *background = nil, NSString *text2 = nil);
// A palette file with the given keys set to true.
NSDictionary *PaletteWith(std::initializer_list<const char *> keys);

// Entries of the call log whose implementor, selector (and receiver, when given) match.
std::vector<DWCall *> Calls(const char *implementor, const char *selector, id receiver = nil);
// The selectors and implementors in the log, "Implementor -selector", in order, for one receiver.
std::vector<std::string> Trace(id receiver);

// Reads of a device file since the last reset.
unsigned Reads(const char *devicePath);

// An opaque colour from bytes, as the host builds its stock colours.
UIColor *ColorFromBytes(int red, int green, int blue, DWCGFloat alpha = 1);
// The colour's bytes as "#RRGGBBAA" (rounded), or "nil"/"pattern".
std::string Hex(UIColor *color);

// The library's exported preference switch, found in the loaded library.
BOOL CallGetPrefBool(NSString *key);

// Live UIColor instances (the stand-in counts allocations).
int LiveColors();
int LiveDictionaries();
