// How the tools print colours: components exactly as the colour reports them, bytes rounded.
#pragma once

#import "standin/uikit/UIKit.h"

// "null", or {"r":…,"g":…,"b":…,"a":…,"hex":"#RRGGBBAA"} with full-precision components.
NSString *DWColorJSON(UIColor *color);
// "#RRGGBBAA", "none" for nil, "pattern" for a colour without components.
NSString *DWColorText(UIColor *color);
// A JSON string literal.
NSString *DWJSONString(NSString *text);
