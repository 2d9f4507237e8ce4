// The forms a property-list file's bytes take, each made into Foundation objects (retained; the
// caller releases them) without autoreleasing anything. PropertyListBytes.m tells which form a file
// is; PropertyListObjects.m reads XML through libplist.
#pragma once

#import "PropertyListFile.h"

#include <stddef.h>
#include <stdint.h>

// A binary file that DWCheckBinaryGraph has passed: strings whole, a NUL among them or not (libplist
// cuts an ASCII string at a NUL and aborts on a UTF-16 key holding one).
__attribute__((visibility("hidden"))) id DWObjectFromBinaryPropertyList(const uint8_t *bytes, size_t length);

// An old-style (OpenStep) text file as CoreFoundation reads it; `*object` is set when the outcome is
// DWPropertyListRead.
__attribute__((visibility("hidden"))) DWPropertyListOutcome DWReadOpenStepPropertyList(const uint8_t *bytes, size_t length,
                                                                                      id *object);

// Foundation's string of these UTF-16 units, retained; a unit of a surrogate pair that stands alone
// becomes U+FFFD (in `units` too), as GNUstep's strings cannot hold one.
__attribute__((visibility("hidden"))) NSString *DWPropertyListString(unichar *units, size_t count);
