// Strings of binary and old-style files from their UTF-16 units. The device's strings hold any units;
// GNUstep's refuse a surrogate that stands alone, so such a unit reads as U+FFFD (as in the model).
#import "PropertyListForms.h"

NSString *DWPropertyListString(unichar *units, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (units[i] >= 0xD800 && units[i] < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      ++i;
    } else if (units[i] >= 0xD800 && units[i] < 0xE000) {
      units[i] = 0xFFFD;
    }
  }
  return [[NSString alloc] initWithCharacters:units length:count];
}
