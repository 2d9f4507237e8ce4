// NSString's boolValue as the device's Foundation documents it: white space (newlines included)
// skipped, then at most one sign and any zeros; YES when one of "Y", "y", "T", "t" or a digit 1-9
// follows, whatever comes after it; NO otherwise.
#pragma once

#import <Foundation/Foundation.h>

#ifdef __cplusplus
extern "C" {
#endif

BOOL DWStringBoolValue(NSString *string);
// Gives every string class of the process that rule. Part of DWDeviceInstallFoundation.
void DWDeviceInstallStringBoolValue(void);

#ifdef __cplusplus
}
#endif
