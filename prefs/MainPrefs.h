// The main preferences file: the master switch and the three colour keys. Read afresh on every use,
// never cached, never written.
#pragma once

#include "../platform/Platform.h"

extern "C" __attribute__((visibility("default"))) BOOL GetPrefBool(id key);

namespace dw {

static inline id MainPrefsPath() { return DW_STR("/var/mobile/Library/Preferences/com.tervan.duskwell.plist"); }

// True when `value` answers boolValue with true. A value that has no boolean reading (an array, a
// dictionary, a date, data) raises when asked on the device, so it reads as false unasked.
bool ReadsTrue(id value);

// The master switch "custom1".
static inline bool MasterSwitchOn() { return GetPrefBool(DW_STR("custom1")); }

// The colour stored under `key`, or the colour of `fallback` when the key is absent or holds
// something other than a string (the colour picker is only made for strings). The caller owns the
// colour (+1); the dictionary and whatever the colour picker autoreleased are gone already.
id ReadPrefColor(id key, id fallback);

}  // namespace dw
