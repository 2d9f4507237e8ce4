// Any bytes as the main preferences file and as a palette file: the stand-in reader answers a
// dictionary or nil, and GetPrefBool, the colour read and the palette rules answer without fault.
#import "FuzzHost.h"

#import "host/HostClasses.h"
#import "standin/foundation/CallLog.h"
#import "standin/foundation/PropertyListFile.h"
#import "standin/uikit/UIKit.h"

#include <dlfcn.h>

static BOOL (*getPrefBool)(id);
static UIView *view;
static UILabel *label;
static SPTIconConfiguration *icon;

int LLVMFuzzerInitialize(int *argc, char ***argv) {
  (void)argc;
  (void)argv;
  DWFuzzLaunch();
  getPrefBool = (BOOL (*)(id))dlsym(RTLD_DEFAULT, "GetPrefBool");
  view = [[UIView alloc] initWithFrame:DWRectMake(0, 0, 10, 10)];
  label = [[UILabel alloc] initWithFrame:DWRectMake(0, 0, 10, 10)];
  icon = [[SPTIconConfiguration alloc] init];
  return 0;
}

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  DWPropertyListReadResult result;
  id plist = DWPropertyListFromBytes(data, size, &result);
  DW_FUZZ_CHECK((plist != nil) == (result.outcome == DWPropertyListRead), "an object exactly when read");
  [plist release];

  DWFuzzWriteDeviceFile("/var/mobile/Library/Preferences/com.tervan.duskwell.plist", data, size);
  DWFuzzWriteDeviceFile("/var/mobile/Library/Preferences/com.tervan.icon.plist", data, size);
  DWFuzzWriteDeviceFile("/var/mobile/Library/Preferences/com.tervan.textc.plist", data, size);
  BOOL on = getPrefBool(@"custom1");
  UIColor *white = [UIColor whiteColor];
  [view setBackgroundColor:white];  // the filter: the colour read, then the switch
  DW_FUZZ_CHECK(on || [view backgroundColor] == white, "with the switch off the filter keeps the colour");
  DW_FUZZ_CHECK([view backgroundColor] != nil, "the filter always hands over a colour");
  [label layoutSubviews];           // the label's text colour, through the text palette
  [label setTextColor:[UIColor redColor]];
  DW_FUZZ_CHECK([label textColor] != nil, "a label always has a colour");
  [icon iconColor];                 // the first set icon palette colour, or the host's
  DWCallLogClear();  // the host keeps a log of every call; this run makes millions
  [pool release];
  return 0;
}
