// hooks: the library's hook table as the hooking library installed it.
#import "Commands.h"

#import "standin/foundation/StandInDevice.h"
#import "standin/substrate/Substrate.h"

int DWRunHooks(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments command:@"hooks" flags:[NSArray array] values:nil];
  if (options == nil) return 2;
  if (!DWLaunchForCommand(options, YES)) return 2;
  NSArray *lookups = DWDeviceClassLookups();
  NSUInteger count = DWHookRecordCount();
  DWPrint(@"%3s  %-40s %-32s %-11s %s\n", "#", "class", "selector", "class found", "slot filled");
  for (NSUInteger i = 0; i < count; ++i) {
    DWHookRecord record = DWHookRecordAt(i);
    // An absent class reaches the hooking library as nil; its name is the lookup just before.
    NSString *name = record.className != NULL ? [NSString stringWithUTF8String:record.className]
                     : record.lookupsBefore > 0 ? [lookups objectAtIndex:record.lookupsBefore - 1]
                                                : @"?";
    DWPrint(@"%3lu  %-40s %-32s %-11s %s\n", (unsigned long)(i + 1), [name UTF8String], record.selector,
            record.classFound ? "yes" : "no", record.slotFilled ? "yes" : "no");
  }
  return 0;
}
