// How both executors write a colour component (or any CGFloat) into a trace. C, for the stand-in's
// UIKit as much as for the device model.
#pragma once

#include <math.h>
#include <stdbool.h>
#include <stdio.h>

enum { DWTraceComponentSize = 32 };

// "nan", "inf", "-inf", or the value in decimal: a value that a 32-bit float holds exactly prints
// as that float does (nine digits), so both widths agree on it; any other with the seventeen that
// tell every double apart. Returns `text`.
static inline const char *DWWriteTraceComponent(double value, char text[DWTraceComponentSize]) {
  if (isnan(value)) return snprintf(text, DWTraceComponentSize, "nan"), text;
  if (isinf(value)) return snprintf(text, DWTraceComponentSize, value > 0 ? "inf" : "-inf"), text;
  const bool exactFloat = (double)(float)value == value;
  snprintf(text, DWTraceComponentSize, exactFloat ? "%.9g" : "%.17g", value);
  return text;
}
