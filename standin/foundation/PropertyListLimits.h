// The checks the bytes pass before libplist sees them. libplist recurses once per nesting level and
// copies a binary object once per reference, so depth and expansion are measured here first;
// everything else about the format is libplist's to judge. Each also notes an integer above 2^63-1
// in `wideUnsigned`, which libplist would keep without its sign.
#pragma once

#import "PropertyListFile.h"

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

// A binary file's object graph: its depth and the objects it expands to, counting each reference,
// and that every dictionary key is a string libplist accepts. Without recursion.
__attribute__((visibility("hidden"))) DWPropertyListOutcome DWCheckBinaryGraph(const uint8_t *bytes, size_t length,
                                                                              bool *wideUnsigned);

// An XML file's element depth, counted over tags, skipping comments, declarations and CDATA.
__attribute__((visibility("hidden"))) DWPropertyListOutcome DWCheckXMLDepth(const uint8_t *bytes, size_t length,
                                                                           bool *wideUnsigned);
