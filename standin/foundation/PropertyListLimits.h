// The checks a binary or XML file passes before anything is made of it. Making objects recurses once
// per nesting level and copies a binary object once per reference, so depth and expansion are
// measured here first; the binary check also takes every object's shape, and what it passes is
// read without fault. Each notes an integer above 2^63-1 in `wideUnsigned`, which is kept without
// its sign.
#pragma once

#import "PropertyListFile.h"

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

// A binary file's object graph: every object's shape, its depth and the objects it expands to,
// counting each reference, and that every dictionary key is a string. Without recursion.
__attribute__((visibility("hidden"))) DWPropertyListOutcome DWCheckBinaryGraph(const uint8_t *bytes, size_t length,
                                                                              bool *wideUnsigned);

// An XML file's element depth, counted over tags, skipping comments, declarations and CDATA.
__attribute__((visibility("hidden"))) DWPropertyListOutcome DWCheckXMLDepth(const uint8_t *bytes, size_t length,
                                                                           bool *wideUnsigned);
