#import "CallLog.h"

@implementation DWCall
- (void)dealloc {
  [implementor release];
  [selector release];
  [argument release];
  [super dealloc];
}
- (NSString *)description {
  return [NSString stringWithFormat:@"%@ %@ -%@ %@", implementor, NSStringFromClass([receiver class]), selector,
                                    argument];
}
@end

static NSMutableArray *callLog;

static DWCall *Append(const char *implementor, id receiver, SEL selector) {
  if (callLog == nil) callLog = [[NSMutableArray alloc] init];
  DWCall *call = [[DWCall alloc] init];
  call->implementor = [[NSString alloc] initWithUTF8String:implementor];
  call->receiver = receiver;
  call->selector = [NSStringFromSelector(selector) retain];
  [callLog addObject:call];
  [call release];
  return call;
}

void DWLogCall(const char *implementor, id receiver, SEL selector, id argument) {
  Append(implementor, receiver, selector)->argument = [argument retain];
}

void DWLogRawCall(const char *implementor, id receiver, SEL selector, const void *argument) {
  Append(implementor, receiver, selector)->rawArgument = argument;
}

NSArray *DWCallLogEntries(void) { return callLog != nil ? [[callLog copy] autorelease] : [NSArray array]; }

NSUInteger DWCallLogCount(void) { return [callLog count]; }

void DWCallLogClear(void) { [callLog removeAllObjects]; }
