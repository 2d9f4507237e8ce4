// What the fuzz targets share: the simulated host launched once with the library loaded, on a
// device root in memory (tmpfs when there is one), and a way to put bytes into a device file.
#pragma once

#import <Foundation/Foundation.h>

// Launches the host with build/duskwell.so (DUSKWELL_LIBRARY) on a fresh device root; exits on failure.
void DWFuzzLaunch(void);
NSString *DWFuzzDeviceRoot(void);
// Replaces the device file at `devicePath` with exactly these bytes.
void DWFuzzWriteDeviceFile(const char *devicePath, const uint8_t *bytes, size_t length);
// A string of the bytes: UTF-8 when they are, Latin-1 otherwise, so every input is some string.
NSString *DWFuzzString(const uint8_t *bytes, size_t length);
// Stops the run with a message when a property the system promises does not hold.
#define DW_FUZZ_CHECK(condition, message)                                   \
  do {                                                                      \
    if (!(condition)) {                                                     \
      fprintf(stderr, "fuzz check failed: %s (%s)\n", message, #condition); \
      __builtin_trap();                                                     \
    }                                                                       \
  } while (0)
