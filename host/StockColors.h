// The host's stock colours, built from byte values so that they are exactly those bytes.
#pragma once

#import "standin/uikit/UIKit.h"

static inline UIColor *DWHostColor(unsigned red, unsigned green, unsigned blue) {
  return [UIColor colorWithRed:(DWCGFloat)red / 255 green:(DWCGFloat)green / 255 blue:(DWCGFloat)blue / 255 alpha:1];
}

// The three dark greys the host paints its surfaces with, darkest first.
static inline UIColor *DWHostGrey121212(void) { return DWHostColor(0x12, 0x12, 0x12); }
static inline UIColor *DWHostGrey181818(void) { return DWHostColor(0x18, 0x18, 0x18); }
static inline UIColor *DWHostGrey282828(void) { return DWHostColor(0x28, 0x28, 0x28); }

// Secondary text and icons.
static inline UIColor *DWHostLightGreyB3B3B3(void) { return DWHostColor(0xB3, 0xB3, 0xB3); }

// The brand green of play buttons, progress and the connect bar.
static inline UIColor *DWHostGreen(void) { return DWHostColor(0x1D, 0xB9, 0x54); }
