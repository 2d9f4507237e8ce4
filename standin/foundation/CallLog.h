// Every host and UIKit implementation that the library may replace writes one entry here when it
// runs: who implemented it, the receiver, the selector it was called with and its argument. Tests
// read the log to see what reached the host's own code; nothing reads it to decide anything.
#pragma once

#import <Foundation/Foundation.h>

@interface DWCall : NSObject {
 @public
  NSString *implementor;  // the class whose implementation ran
  id receiver;            // not retained: identity only
  NSString *selector;
  id argument;            // retained; nil when the method has none or received nil
  const void *rawArgument;  // for non-object arguments (a CGColor reference)
}
@end

#ifdef __cplusplus
extern "C" {
#endif

void DWLogCall(const char *implementor, id receiver, SEL selector, id argument);
void DWLogRawCall(const char *implementor, id receiver, SEL selector, const void *argument);
NSArray *DWCallLogEntries(void);
NSUInteger DWCallLogCount(void);
void DWCallLogClear(void);

#ifdef __cplusplus
}
#endif
