#import "CallLog.h"

#include <pthread.h>

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
// The host's implementations run on whichever thread the host calls them: one lock for the log.
static pthread_mutex_t callLogLock = PTHREAD_MUTEX_INITIALIZER;

// The entry is complete before it is shared.
static void Append(const char *implementor, id receiver, SEL selector, id argument, const void *rawArgument) {
  DWCall *call = [[DWCall alloc] init];
  call->implementor = [[NSString alloc] initWithUTF8String:implementor];
  call->receiver = receiver;
  call->selector = [NSStringFromSelector(selector) retain];
  call->argument = [argument retain];
  call->rawArgument = rawArgument;
  pthread_mutex_lock(&callLogLock);
  if (callLog == nil) callLog = [[NSMutableArray alloc] init];
  [callLog addObject:call];
  pthread_mutex_unlock(&callLogLock);
  [call release];
}

void DWLogCall(const char *implementor, id receiver, SEL selector, id argument) {
  Append(implementor, receiver, selector, argument, NULL);
}

void DWLogRawCall(const char *implementor, id receiver, SEL selector, const void *argument) {
  Append(implementor, receiver, selector, nil, argument);
}

NSArray *DWCallLogEntries(void) {
  pthread_mutex_lock(&callLogLock);
  NSArray *entries = callLog != nil ? [callLog copy] : [[NSArray alloc] init];
  pthread_mutex_unlock(&callLogLock);
  return [entries autorelease];
}

NSUInteger DWCallLogCount(void) {
  pthread_mutex_lock(&callLogLock);
  NSUInteger count = [callLog count];
  pthread_mutex_unlock(&callLogLock);
  return count;
}

void DWCallLogClear(void) {
  pthread_mutex_lock(&callLogLock);
  NSMutableArray *old = callLog;
  callLog = nil;
  pthread_mutex_unlock(&callLogLock);
  [old release];  // the entries go outside the lock: releasing an argument may run its dealloc
}
