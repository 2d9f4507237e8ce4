// Steps that many replacements share. Each replacement in Tweak.cpp states its own rule and calls
// these for the common part.
#pragma once

#include "../platform/Platform.h"
#include "../prefs/MainPrefs.h"

namespace dw {

// One pointer-sized cell per hook row: the implementation that was in effect before installation.
typedef IMP OrigSlot;

// Calls a row's previous implementation directly (not through dispatch) with the replacement's own
// receiver, selector and arguments.
template <typename R, typename... Args>
inline R CallOrig(OrigSlot slot, id self, SEL cmd, Args... args) {
  using Fn = R (*)(id, SEL, Args...);
  return FunctionCast<Fn>(slot)(self, cmd, args...);
}

// The repaint-on-layout rule: the host lays the view out, then, while the master switch is on, the
// view's background is set by ordinary dispatch (so the background filter sees it) to the colour
// under `key`, or `fallback`.
void RepaintOnLayout(OrigSlot slot, id self, SEL cmd, id key, id fallback);

// Sends the label the "text2" colour (black without one) by ordinary dispatch.
void SetUserTextColor(id label);

// True when `color` is opaque white or one of the host's three stock dark greys, at 8-bit precision.
bool IsStockBackground(id color);

// A setter that the master switch drops: the host's setter runs only while the switch is off.
template <typename Arg>
inline void CallOrigUnlessSwitchOn(OrigSlot slot, id self, SEL cmd, Arg arg) {
  if (MasterSwitchOn()) return;
  CallOrig<void>(slot, self, cmd, arg);
}

}  // namespace dw
