// What the library reads and does, learnt from the library itself. It is loaded into the host once,
// on a probe device root of its own where the master switch is on and every other key is absent
// (the palette files exist but are empty), and each question is answered by making the host do
// something that reaches a hook and watching what the library looks up, what it hands the colour
// picker and what it gives back. The tools know the host's classes and selectors, never a rule of
// the library: the pane and the doctor both learn theirs here.
#pragma once

#import <Foundation/Foundation.h>

@class UIColor;

@interface DWLibraryBehaviour : NSObject {
  NSString *probeRoot;
  NSMutableDictionary *getterOfFile;     // palette device path -> the receiver whose getter reads it
  NSMutableDictionary *paletteKeys;      // palette device path -> keys in the order the getter tests them
  NSMutableDictionary *fallbacks;        // colour key -> [{"fallback", "callers"}], most callers first
  NSMutableDictionary *paletteColors;    // "path\nkey" -> the colour the getter answers for that key alone
  NSMutableDictionary *fileOfKey;        // key -> the device path it was first looked up in
}

// Loads the library into the host on a fresh probe root. nil with *error set when the probe root
// cannot be made or the host cannot run with the library. The host runs once per process, so there
// is at most one of these.
+ (DWLibraryBehaviour *)launch:(NSString **)error;

// One row per key, in the order the library first looks each up while every screen is laid out and
// every colour getter asked: {"file": device path, "domain": the file's defaults domain, "key": K,
// "type": "boolean" or "color" (or "boolean and color" when the library reads it both ways),
// "fallbacks": the colour strings it falls back to, sorted, with "fallbackCounts": how many colour
// reads passed each}.
- (NSArray *)preferenceReads;

// The fallbacks the library reads the colour key `key` of the main file with, each
// {"fallback": "#181818", "callers": ["GLUEStatefulView layoutSubviews", ...]}: the hook rows, as
// "class selector", whose message sent to a fresh object of the row's class reads the key with that
// fallback while the key is absent (the layout rows in table order, then the background filter; a
// row whose class inherits another hooked row's reads that row's keys too). The fallback with the
// most callers comes first. Learnt once, for every key, by laying out one fresh view of each class with a
// layout hook and by sending one view through the hooked setBackgroundColor:. Empty for a key the
// library does not read as a colour.
- (NSArray *)fallbacksOfColorKey:(NSString *)key;

// The keys the library tests in the palette file at `devicePath`, in the order it tests them,
// learnt from the file's colour getter asked while no key is set. Empty when no getter reads it.
- (NSArray *)paletteKeysOfFile:(NSString *)devicePath;

// The colour the palette file's getter answers when `key` is the only key set, or nil.
- (UIColor *)colorOfPaletteKey:(NSString *)key inFile:(NSString *)devicePath;

// The device path of the file the library looks `key` up in (exactly that key, in its case), or nil
// when it does not: learnt from the reads of the fallback and palette questions, which between them
// reach every layout hook, the background filter and every colour getter.
- (NSString *)fileReadingKey:(NSString *)key;

// YES when the background filter, with the master switch on, hands the host another colour than
// `color` (it exchanges it for the "background" colour).
- (BOOL)filterExchanges:(UIColor *)color;

// The library's own colour comparison, the one its background filter makes.
- (BOOL)isColor:(UIColor *)color sameAs:(UIColor *)other;

// Takes the probe root away. The host keeps running; no question may follow.
- (void)finish;
@end

// pane's question on its own: launches, learns the reads and finishes. nil with *error set when the
// host cannot run.
NSArray *DWLibraryPreferenceReads(NSString **error);

// "/var/mobile/Library/Preferences/com.tervan.icon.plist" -> "com.tervan.icon"; nil for a path outside
// the mobile user's preferences directory.
NSString *DWDefaultsDomainOfPath(NSString *devicePath);
// The other way: "com.tervan.icon" -> its file in the mobile user's preferences directory; nil for a
// domain that cannot be a file name there.
NSString *DWDevicePathOfDomain(NSString *domain);
