// Any string through the colour picker and the library's initWithHex:: a colour every time from the
// picker, the string's own colour whenever the picker reads it, and no fault from the hex parser.
#import "FuzzHost.h"

#import "standin/colorpicker/ColorPicker.h"
#import "standin/uikit/UIKit.h"

@interface UIColor (CompareAndHex)
- (id)initWithHex:(NSString *)hex;
- (BOOL)isSameColor:(UIColor *)other;
@end

int LLVMFuzzerInitialize(int *argc, char ***argv) {
  (void)argc;
  (void)argv;
  DWFuzzLaunch();
  return 0;
}

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  NSString *string = DWFuzzString(data, size);
  UIColor *parsed = LCPParseColorString(string, @"#181818");
  DW_FUZZ_CHECK(parsed != nil, "the picker always answers a colour");
  UIColor *own = DWColorFromPickerString(string);
  UIColor *fallback = DWColorFromPickerString(@"#181818");
  DW_FUZZ_CHECK([parsed isSameColor:own != nil ? own : fallback], "the string's colour, or the fallback's");
  UIColor *hex = [[UIColor alloc] initWithHex:string];
  if (hex != nil) {
    DWCGFloat r, g, b, a;
    DW_FUZZ_CHECK([hex getRed:&r green:&g blue:&b alpha:&a] && a == 1, "hex colours are opaque");
    DW_FUZZ_CHECK(r >= 0 && r <= 1 && g >= 0 && g <= 1 && b >= 0 && b <= 1, "components within 0 and 1");
    DW_FUZZ_CHECK([hex isSameColor:hex], "a colour is the same as itself");
  }
  [hex release];
  [pool release];
  return 0;
}
