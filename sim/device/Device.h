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

// Makes Foundation read property lists the way the device does: any readable plist (XML or binary)
// at a device path, nil otherwise, and never a line of output. Idempotent.
void DWDeviceInstallFoundation(void);

// How many times a property-list file at `devicePath` was read as a dictionary.
NSUInteger DWDeviceReadCount(NSString *devicePath);
void DWDeviceResetReadCounts(void);

// Class lookups by name (objc_getClass) made while recording is on, in order.
void DWDeviceRecordClassLookups(BOOL on);
NSArray *DWDeviceClassLookups(void);

#ifdef __cplusplus
}
#endif
