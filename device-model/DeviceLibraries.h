// The device's libraries as far as the library uses them, installed into the model's runtime:
// Foundation (with the root class), UIKit and the colour picker, with the device's semantics.
#pragma once

#include "ObjCRuntime.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace device {

// What reading a device path finds.
struct FileContents {
  enum State { missing, unreadable, present } state = missing;
  std::vector<uint8_t> bytes;
};
using FileReader = std::function<FileContents(const std::string &devicePath)>;

// NSObject, NSString, NSNumber, NSArray, NSDictionary, NSDate, NSData, NSScanner, NSCharacterSet.
void InstallFoundation(Runtime &rt, FileReader files);
// UIColor with the fifteen named colours, UIView, UILabel, UIButtonLabel, UITableViewLabel.
void InstallUIKit(Runtime &rt);

// A property list's bytes (binary, XML or old-style text) as model objects: the top-level object
// (+1), or 0 when the bytes hold no property list.
uint64_t PropertyListObject(Runtime &rt, const std::vector<uint8_t> &bytes);

// NSString's boolValue: leading whitespace skipped, then an optional sign and zeros; YES when a
// digit 1-9 or one of "YyTt" follows.
bool StringBoolValue(const std::u16string &text);

// NSScanner's scanHexInt: from `location`, skipping what `skip` says; an optional 0x or 0X; the run
// of hex digits. False when no digit stands there (the location is then unchanged). On overflow the
// value is UINT32_MAX and every digit is consumed.
bool ScanHexInt(const std::u16string &text, size_t &location, const std::function<bool(char32_t)> &skip,
                uint32_t *value);
// Unicode general category S: math, currency, modifier and other symbols.
bool IsSymbol(char32_t c);

// The colour strings the colour picker reads: "#RGB" or "#RRGGBB" (the "#" optional, either case),
// optionally followed by ":alpha" with alpha a decimal from 0 to 1. Gives the three bytes and alpha.
bool ParsePickerColor(const std::u16string &text, double components[4]);
// LCPParseColorString(value, fallback): the colour of `value` when it is a colour string, else the
// colour of `fallback`; autoreleased. Components in the slice's width, bytes divided by 255 there.
uint64_t ParseColorString(Runtime &rt, uint64_t value, uint64_t fallback);

// A colour with these components (rounded to the slice's CGFloat), +1 or autoreleased.
uint64_t NewColor(Runtime &rt, double r, double g, double b, double a, bool autoreleased);

}  // namespace device
