// Starts the simulated host the way the device does: Foundation set up, the device's file system at
// `deviceRoot`, and the library loaded once, as the hooking platform loads it, before the host runs.
#pragma once

#import <Foundation/Foundation.h>

#ifdef __cplusplus
extern "C" {
#endif

// Loads the library at `libraryPath` (nil: run the host without it). Returns NO and sets *error
// when the device root is not a readable directory or the library cannot be loaded.
BOOL DWLaunchHost(NSString *deviceRoot, NSString *libraryPath, NSString **error);

// The library beside the running executable ("duskwell.so").
NSString *DWLibraryBesideExecutable(void);

#ifdef __cplusplus
}
#endif
