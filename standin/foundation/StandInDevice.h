// The stand-in device: its file system root, the Foundation behaviour the device has, and what the
// device lets an observer see (file reads, class lookups during library loading, calls into the
// host's own implementations).
#pragma once

#import <Foundation/Foundation.h>

#ifdef __cplusplus
extern "C" {
#endif

// Absolute device paths under "/var/mobile/" live below this directory.
void DWDeviceSetRoot(NSString *root);
NSString *DWDeviceRoot(void);
// The Linux path of a device path; paths outside the device's data are returned unchanged.
NSString *DWDeviceLocalPath(NSString *devicePath);

// Makes Foundation read property lists the way the device does: any readable plist (binary, XML or
// old-style text) at a device path, nil otherwise, and never a line of output; gives strings the
// device's boolValue (StringBoolValue.h) and NSDictionary its placeholder (Placeholder.h). Idempotent.
void DWDeviceInstallFoundation(void);

// How many times a property-list file at `devicePath` was read as a dictionary.
NSUInteger DWDeviceReadCount(NSString *devicePath);
void DWDeviceResetReadCounts(void);

// What loaded code asks of the preference files while recording is on, in order: each key looked up
// in a dictionary read from a device file ({"event": "lookup", "file": device path, "selector":
// "objectForKey:" or "valueForKey:", "key": K}), and each string handed to the colour picker
// ({"event": "parse", "fallback": F}). Off, nothing is recorded and the dictionaries are Foundation's own.
void DWDeviceRecordPreferenceReads(BOOL on);
NSArray *DWDevicePreferenceReads(void);
// Called by the stand-in colour picker for every colour string it is asked to parse.
void DWDeviceNoteColorParse(id fallback);

// Class lookups by name (objc_getClass) made while recording is on, in order.
void DWDeviceRecordClassLookups(BOOL on);
NSArray *DWDeviceClassLookups(void);

#ifdef __cplusplus
}
#endif
