// Reading a property-list file the way the device's preferences reader does: any readable binary,
// XML or old-style text property list, nothing else, never an exception, never a line of output. Shared by the
// stand-in's NSDictionary file initialisers and by duskwell-sim, which says why a file is unusable.
#pragma once

#import <Foundation/Foundation.h>

#include "scenario/PropertyListBounds.h"

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
  DWPropertyListRead,
  DWPropertyListCannotOpen,     // `error` says why: ENOENT, EACCES, ELOOP, ENOTDIR, ...
  DWPropertyListNotRegular,     // a directory, FIFO, socket or device; `fileType` says which
  DWPropertyListTooLarge,       // more than DWPropertyListMaxBytes; `size` when known
  DWPropertyListCannotRead,     // the read failed; `error`
  DWPropertyListMalformed,      // not a binary, XML or old-style property list, or a damaged one
  DWPropertyListTooDeep,        // nested deeper than DWPropertyListMaxDepth
  DWPropertyListTooManyObjects, // expands to more than DWPropertyListMaxObjects objects
  DWPropertyListNonStringKey,   // a dictionary key that is not a string (binary files)
} DWPropertyListOutcome;

typedef struct {
  DWPropertyListOutcome outcome;
  int error;                 // errno, for CannotOpen and CannotRead
  mode_t fileType;           // S_IFMT bits, for NotRegular
  unsigned long long size;   // bytes, for TooLarge (0 when the file grew past the limit while read)
  // An integer above 2^63-1 was read: no sign is kept, so it reads as its two's complement (its
  // truth is the same), and no writer here can store it again exactly.
  bool wideUnsigned;
} DWPropertyListReadResult;

// The file's top-level object, retained (the caller releases it), or nil; `result` (may be NULL)
// says what happened. An ordinary file costs one open, one read and one close. Thread-safe.
id DWReadPropertyListFile(const char *path, DWPropertyListReadResult *result);

// The same for bytes already in memory (no file checks).
id DWPropertyListFromBytes(const void *bytes, size_t length, DWPropertyListReadResult *result);

// A plain-words account of a failed read ("it is a FIFO", "a symbolic link loop", ...).
NSString *DWPropertyListOutcomeText(const DWPropertyListReadResult *result);

#ifdef __cplusplus
}
#endif
