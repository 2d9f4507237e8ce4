// The colour picker's string grammar, one for the stand-in's picker and the device model's:
// "[#]RGB" or "[#]RRGGBB" hex in either case, optionally followed by ":alpha" with alpha a decimal
// from 0 to 1, digits with at most one point. How those digits become a number is each picker's
// own (Foundation's conversion on the stand-in, the C library's in the model).
#pragma once

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The value of `length` UTF-16 units, each a digit or the one point.
typedef double (*DWPickerDecimal)(const uint16_t *digits, size_t length);

// True when `text` reads: `bytes` then hold red, green and blue (0 to 255), `alpha` the alpha (1
// when not given). Nothing is written otherwise.
bool DWReadPickerColor(const uint16_t *text, size_t length, DWPickerDecimal decimal, int bytes[3], double *alpha);

#ifdef __cplusplus
}
#endif
