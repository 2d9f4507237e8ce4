// Starts the simulated host the way the device does: Foundation set up, the device's file system at
// `deviceRoot`, and the library loaded once, as the hooking platform loads it, before the host runs:
// only when the loader filter beside it (duskwell.so's duskwell.plist) lets it into this process.
#pragma once

#import <Foundation/Foundation.h>

#ifdef __cplusplus
extern "C" {
#endif

// Loads the library at `libraryPath` (nil: run the host without it). Returns NO and sets *error
// when the device root is not a readable directory, the library cannot be loaded, or its filter
// keeps it out of this process.
BOOL DWLaunchHost(NSString *deviceRoot, NSString *libraryPath, NSString **error);

// As the loader does for a process with this bundle identifier (nil: none): the process starts
// whatever the filter says, and *loaded and *why tell whether the library was loaded and for what
// reason. Returns NO and sets *error only when the process itself cannot start.
BOOL DWLaunchProcess(NSString *deviceRoot, NSString *libraryPath, NSString *bundleIdentifier, BOOL *loaded,
                     NSString **why, NSString **error);

// The loader filter the hooking platform reads for the library at `libraryPath`: the same name,
// ending in .plist.
NSString *DWLoaderFilterPath(NSString *libraryPath);

// The library beside the running executable ("duskwell.so").
NSString *DWLibraryBesideExecutable(void);

#ifdef __cplusplus
}
#endif
