// What the library reads, learnt from the library itself: it is loaded into the host on a device root
// where the master switch is on and every other key is absent, every screen is laid out and every
// colour getter asked, and the device notes each key the library looks up and each fallback it hands
// the colour picker.
#pragma once

#import <Foundation/Foundation.h>

// One row per key, in the order the library first looks each up: {"file": device path, "domain":
// the file's defaults domain, "key": K, "type": "boolean" or "color" (or "boolean and color" when
// the library reads it both ways), "fallbacks": the colour strings it falls back to, sorted, with
// "fallbackCounts": how many colour reads passed each}. nil with *error set when the host cannot run.
NSArray *DWLibraryPreferenceReads(NSString **error);

// "/var/mobile/Library/Preferences/com.tervan.icon.plist" -> "com.tervan.icon"; nil for a path outside
// the mobile user's preferences directory.
NSString *DWDefaultsDomainOfPath(NSString *devicePath);
