// What each kind of hooked call costs against the work it must do. Every hooked call reads its
// preference files afresh, so its floor is that work: the reads, key look-ups and colour
// constructions it is made of, and the host's own implementations it calls. Each kind is measured
// twice per iteration, interleaved so that both halves see the same machine: the hooked message as
// the host sends it, and that work alone, written once, plainly, below, through the same stand-in
// device. The benchmark's time is the hooked call's CPU time; the counters carry both and their
// ratio, and how many property-list files one call reads.
//
// Run: build/duskwell_bench [--library=PATH] [--benchmark_format=json] [--benchmark_repetitions=N]
// (--library: another build of the library, to compare with the one built here).
// Instructions: bench/instruction-ratios (the same calls under callgrind).
#import <Foundation/Foundation.h>
#import <Foundation/NSDebug.h>

#include <benchmark/benchmark.h>
#include <objc/message.h>
#include <objc/runtime.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#import "host/HostClasses.h"
#import "host/Launcher.h"
#import "standin/colorpicker/ColorPicker.h"
#import "standin/foundation/CallLog.h"
#import "standin/foundation/StandInDevice.h"
#import "standin/uikit/UIKit.h"

@interface UIColor (CompareAndHex)
- (id)initWithHex:(NSString *)hex;
- (BOOL)isSameColor:(UIColor *)other;
@end

namespace {

NSString *const kMainPrefs = @"/var/mobile/Library/Preferences/com.tervan.duskwell.plist";
NSString *const kIconPalette = @"/var/mobile/Library/Preferences/com.tervan.icon.plist";
NSString *const kTextPalette = @"/var/mobile/Library/Preferences/com.tervan.textc.plist";

// ---- The host's own implementations, as they were before the library replaced them.

struct Original {
  const char *className;
  const char *selector;
  IMP imp;
  SEL sel;
};

Original gOriginals[] = {
    {"UITableView", "layoutSubviews", nullptr, nullptr},
    {"UIView", "setBackgroundColor:", nullptr, nullptr},
    {"UILabel", "layoutSubviews", nullptr, nullptr},
    {"UILabel", "_setTextColor:", nullptr, nullptr},
    {"UILabel", "_setColor:", nullptr, nullptr},
    {"UIButtonLabel", "layoutSubviews", nullptr, nullptr},
    {"SPTIconConfiguration", "iconColor", nullptr, nullptr},
    {"SPTEntityStickyHeaderView", "bottomGradientView", nullptr, nullptr},
    {"SPTCeramicCarouselBackgroundView", "setShadowGradientLayer:", nullptr, nullptr},
    {"SPTArtistNPVTrackModuleView", "layoutSubviews", nullptr, nullptr},
};
enum OriginalIndex {
  kTableLayout, kViewSetBackground, kLabelLayout, kLabelSetTextColor, kLabelSetColor, kButtonLabelLayout,
  kIconColor, kBottomGradientView, kSetShadowLayer, kModuleLayout,
};

// Asked of the method itself, not by dispatch: a class that had dispatched a message before the
// library loaded would keep calling the inherited implementation it found then on this runtime.
void NoteOriginals() {
  for (Original &original : gOriginals) {
    original.sel = sel_registerName(original.selector);
    original.imp = method_getImplementation(class_getInstanceMethod(objc_getClass(original.className), original.sel));
  }
}

template <typename R = void, typename... Args>
R CallOriginal(OriginalIndex which, id receiver, Args... args) {
  using Fn = R (*)(id, SEL, Args...);
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(gOriginals[which].imp))(receiver, gOriginals[which].sel, args...);
}

// Classes resolved once, as the library's references are.
Class gDictionary, gColor;

// ---- The mandated work, plainly.

// The master switch: a fresh read of the main file, its "custom1", boolValue.
BOOL SwitchRead() {
  return [[[gDictionary dictionaryWithContentsOfFile:kMainPrefs] valueForKey:@"custom1"] boolValue];
}

// A colour read: a fresh read of the main file, the key's value, parsed with its fallback.
UIColor *ColourRead(NSString *key, NSString *fallback) {
  return LCPParseColorString([[gDictionary dictionaryWithContentsOfFile:kMainPrefs] objectForKey:key], fallback);
}

// The background filter: the user's colour, the switch, then the reference colours built one by one
// until one matches, and the view's own setter with the chosen colour.
void FilterWork(UIView *view, UIColor *color) {
  UIColor *user = ColourRead(@"background", @"#000000");
  UIColor *chosen = color;
  if (SwitchRead()) {
    for (NSString *hex : {@"FFFFFF", @"121212", @"181818", @"282828"}) {
      UIColor *reference = [[gColor alloc] initWithHex:hex];
      BOOL same = [color isSameColor:reference];
      [reference release];
      if (same) {
        chosen = user;
        break;
      }
    }
  }
  CallOriginal(kViewSetBackground, view, chosen);
}

// The palette keys of one file in binding order, and the named colours' class messages.
struct PaletteKeys {
  NSString *keys[15];
};
const PaletteKeys kIconKeys = {{@"white1", @"gray1", @"lightgray1", @"black1", @"blue1", @"brown1", @"clear1",
                                @"cyan1", @"darkgray1", @"green1", @"magenta1", @"orange1", @"purple1", @"red1",
                                @"yellow1"}};
const PaletteKeys kTextKeys = {{@"white2", @"gray2", @"lightgray2", @"black2", @"blue2", @"brown2", @"clear2",
                                @"cyan2", @"darkgray2", @"green2", @"magenta2", @"orange2", @"purple2", @"red2",
                                @"yellow2"}};
const SEL kNamedColors[15] = {
    @selector(whiteColor),   @selector(grayColor),  @selector(lightGrayColor), @selector(blackColor),
    @selector(blueColor),    @selector(brownColor), @selector(clearColor),     @selector(cyanColor),
    @selector(darkGrayColor), @selector(greenColor), @selector(magentaColor),  @selector(orangeColor),
    @selector(purpleColor),  @selector(redColor),   @selector(yellowColor),
};

UIColor *NamedColor(int row) {
  using Fn = UIColor *(*)(id, SEL);
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(objc_msg_lookup(gColor, kNamedColors[row])))(
      gColor, kNamedColors[row]);
}

// The getter rule: one fresh read, keys in order until the first set one, its named colour.
UIColor *FirstPaletteColorWork(NSString *path, const PaletteKeys &palette) {
  NSDictionary *dictionary = [[gDictionary alloc] initWithContentsOfFile:path];
  UIColor *found = nil;
  for (int row = 0; row < 15 && found == nil; ++row) {
    if ([[dictionary objectForKey:palette.keys[row]] boolValue]) found = NamedColor(row);
  }
  [dictionary release];
  return found;
}

// A label palette setter: the caller's colour, then every set key's named colour, in order.
void PaletteSetterWork(OriginalIndex setter, UILabel *label, UIColor *color) {
  CallOriginal(setter, label, color);
  NSDictionary *dictionary = [[gDictionary alloc] initWithContentsOfFile:kTextPalette];
  for (int row = 0; row < 15; ++row) {
    if ([[dictionary objectForKey:kTextKeys.keys[row]] boolValue]) CallOriginal(setter, label, NamedColor(row));
  }
  [dictionary release];
}

// ---- The objects the host sends its messages to.

UITableView *gTable;
UIView *gView;
UILabel *gLabel;
UIButtonLabel *gButtonLabel;
SPTIconConfiguration *gIconConfiguration;
SPTEntityStickyHeaderView *gStickyHeader;
SPTCeramicCarouselBackgroundView *gCarousel;
SPTArtistNPVTrackModuleView *gTrackModule;
UIColor *gWhite, *gRed;

void MakeObjects() {
  gTable = [[UITableView alloc] initWithFrame:DWRectMake(0, 0, 320, 480)];
  gView = [[UIView alloc] initWithFrame:DWRectMake(0, 0, 10, 10)];
  gLabel = [[UILabel alloc] initWithFrame:DWRectMake(0, 0, 100, 20)];
  gButtonLabel = [[UIButtonLabel alloc] initWithFrame:DWRectMake(0, 0, 100, 20)];
  gIconConfiguration = [[SPTIconConfiguration alloc] init];
  gStickyHeader = [[SPTEntityStickyHeaderView alloc] initWithFrame:DWRectMake(0, 0, 320, 60)];
  gCarousel = [[SPTCeramicCarouselBackgroundView alloc] initWithFrame:DWRectMake(0, 0, 320, 200)];
  gTrackModule = [[SPTArtistNPVTrackModuleView alloc] initWithFrame:DWRectMake(0, 0, 320, 80)];
  gWhite = [[UIColor whiteColor] retain];
  gRed = [[UIColor redColor] retain];
}

// ---- The call kinds: the hooked message, and its work alone.

enum class Switch { on, off };

struct CallKind {
  const char *name;
  Switch masterSwitch;
  void (*hooked)();
  void (*mandated)();
};

// Repaint on layout (a table, "tabs"): the host's layout, the switch, the colour, and the filter that
// the colour passes on its way to the view.
__attribute__((noinline)) void HookedRepaintOnLayout() { [gTable layoutSubviews]; }
__attribute__((noinline)) void MandatedRepaintOnLayout() {
  CallOriginal(kTableLayout, gTable);
  if (SwitchRead()) FilterWork(gTable, ColourRead(@"tabs", @"#000000"));
}

// The background filter, with a colour that matches the first reference and one that matches none.
__attribute__((noinline)) void HookedFilterWhite() { [gView setBackgroundColor:gWhite]; }
__attribute__((noinline)) void MandatedFilterWhite() { FilterWork(gView, gWhite); }
__attribute__((noinline)) void HookedFilterRed() { [gView setBackgroundColor:gRed]; }
__attribute__((noinline)) void MandatedFilterRed() { FilterWork(gView, gRed); }

// Suppressed decorations: a setter dropped, a getter answered nil, a gradient view hidden on layout.
__attribute__((noinline)) void HookedSuppressedSetter() { [gCarousel setShadowGradientLayer:nil]; }
__attribute__((noinline)) void MandatedSuppressedSetter() {
  if (!SwitchRead()) CallOriginal(kSetShadowLayer, gCarousel, (id)nil);
}
__attribute__((noinline)) void HookedSuppressedGetter() { benchmark::DoNotOptimize([gStickyHeader bottomGradientView]); }
__attribute__((noinline)) void MandatedSuppressedGetter() {
  benchmark::DoNotOptimize(SwitchRead() ? nil : CallOriginal<id>(kBottomGradientView, gStickyHeader));
}
__attribute__((noinline)) void HookedHiddenGradient() { [gTrackModule layoutSubviews]; }
__attribute__((noinline)) void MandatedHiddenGradient() {
  CallOriginal(kModuleLayout, gTrackModule);
  if (!SwitchRead()) return CallOriginal(kModuleLayout, gTrackModule);
  [[gTrackModule valueForKey:@"_gradientView"] setHidden:YES];
}

// A colour getter: the icon palette's first set colour.
__attribute__((noinline)) void HookedIconGetter() { benchmark::DoNotOptimize([gIconConfiguration iconColor]); }
__attribute__((noinline)) void MandatedIconGetter() {
  UIColor *named = FirstPaletteColorWork(kIconPalette, kIconKeys);
  benchmark::DoNotOptimize(named != nil ? named : CallOriginal<id>(kIconColor, gIconConfiguration));
}

// The label palette setters: the public setter reaches _setTextColor:; _setColor: hands the caller's
// colour over once more at the end.
__attribute__((noinline)) void HookedLabelSetTextColor() { [gLabel setTextColor:gRed]; }
__attribute__((noinline)) void MandatedLabelSetTextColor() { PaletteSetterWork(kLabelSetTextColor, gLabel, gRed); }
__attribute__((noinline)) void HookedLabelSetColor() { [gLabel _setColor:gRed]; }
__attribute__((noinline)) void MandatedLabelSetColor() {
  PaletteSetterWork(kLabelSetColor, gLabel, gRed);
  CallOriginal(kLabelSetColor, gLabel, gRed);
}

// Label layout: the host's layout, the switch, "text2" through the public setter (and so through the
// palette setter), and, for UILabel, the host's layout once more.
__attribute__((noinline)) void HookedLabelLayout() { [gLabel layoutSubviews]; }
__attribute__((noinline)) void MandatedLabelLayout() {
  CallOriginal(kLabelLayout, gLabel);
  if (SwitchRead()) PaletteSetterWork(kLabelSetTextColor, gLabel, ColourRead(@"text2", @"#000000"));
  CallOriginal(kLabelLayout, gLabel);
}
__attribute__((noinline)) void HookedButtonLabelLayout() { [gButtonLabel layoutSubviews]; }
__attribute__((noinline)) void MandatedButtonLabelLayout() {
  CallOriginal(kButtonLabelLayout, gButtonLabel);
  if (SwitchRead()) PaletteSetterWork(kLabelSetTextColor, gButtonLabel, ColourRead(@"text2", @"#000000"));
}

// One call as the host runs it, inside its own autorelease pool: the pool's release is part of the
// call. A function of its own per call, so that callgrind can tell the halves apart.
template <void (*Call)()>
__attribute__((noinline)) void InPool() {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  Call();
  [pool release];
}

const CallKind kCallKinds[] = {
    {"RepaintOnLayout/switch_on", Switch::on, InPool<HookedRepaintOnLayout>, InPool<MandatedRepaintOnLayout>},
    {"RepaintOnLayout/switch_off", Switch::off, InPool<HookedRepaintOnLayout>, InPool<MandatedRepaintOnLayout>},
    {"BackgroundFilter/white", Switch::on, InPool<HookedFilterWhite>, InPool<MandatedFilterWhite>},
    {"BackgroundFilter/red", Switch::on, InPool<HookedFilterRed>, InPool<MandatedFilterRed>},
    {"BackgroundFilter/switch_off", Switch::off, InPool<HookedFilterWhite>, InPool<MandatedFilterWhite>},
    {"SuppressedSetter/switch_on", Switch::on, InPool<HookedSuppressedSetter>, InPool<MandatedSuppressedSetter>},
    {"SuppressedSetter/switch_off", Switch::off, InPool<HookedSuppressedSetter>, InPool<MandatedSuppressedSetter>},
    {"SuppressedGetter/switch_on", Switch::on, InPool<HookedSuppressedGetter>, InPool<MandatedSuppressedGetter>},
    {"HiddenGradientOnLayout/switch_on", Switch::on, InPool<HookedHiddenGradient>, InPool<MandatedHiddenGradient>},
    {"IconColorGetter", Switch::on, InPool<HookedIconGetter>, InPool<MandatedIconGetter>},
    {"LabelSetTextColor", Switch::on, InPool<HookedLabelSetTextColor>, InPool<MandatedLabelSetTextColor>},
    {"LabelSetColor", Switch::on, InPool<HookedLabelSetColor>, InPool<MandatedLabelSetColor>},
    {"LabelLayout/switch_on", Switch::on, InPool<HookedLabelLayout>, InPool<MandatedLabelLayout>},
    {"LabelLayout/switch_off", Switch::off, InPool<HookedLabelLayout>, InPool<MandatedLabelLayout>},
    {"ButtonLabelLayout/switch_on", Switch::on, InPool<HookedButtonLabelLayout>, InPool<MandatedButtonLabelLayout>},
};

// ---- The device's files: the example theme, with the master switch as each kind needs it.

NSString *gDeviceRoot;

void WriteMainPrefs(Switch masterSwitch) {
  NSString *path = DWDeviceLocalPath(kMainPrefs);
  NSMutableDictionary *prefs = [NSMutableDictionary dictionaryWithDictionary:[NSDictionary dictionaryWithContentsOfFile:path]];
  [prefs setObject:[NSNumber numberWithBool:masterSwitch == Switch::on] forKey:@"custom1"];
  NSData *data = [NSPropertyListSerialization dataWithPropertyList:prefs
                                                            format:NSPropertyListBinaryFormat_v1_0
                                                           options:0
                                                             error:NULL];
  [data writeToFile:path atomically:YES];
}

NSString *CopyExampleTheme() {
  char root[] = "/tmp/duskwell-bench-XXXXXX";
  if (mkdtemp(root) == nullptr) return nil;
  NSString *path = [NSString stringWithUTF8String:root];
  NSString *preferences = [path stringByAppendingPathComponent:@"var/mobile/Library/Preferences"];
  NSString *example = [@DUSKWELL_EXAMPLE_ROOT stringByAppendingPathComponent:@"var/mobile/Library/Preferences"];
  NSFileManager *files = [NSFileManager defaultManager];
  if (![files createDirectoryAtPath:[preferences stringByDeletingLastPathComponent]
          withIntermediateDirectories:YES
                           attributes:nil
                                error:NULL] ||
      ![files copyItemAtPath:example toPath:preferences error:NULL]) {
    return nil;
  }
  return path;
}

double ThreadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// How often each half has run in this process, over every run of every kind (for callgrind, which
// counts over the whole process).
unsigned long gCallsOfEachHalf;

// One half of an iteration: the host's call log emptied first (untimed), then the call.
double TimedCall(void (*call)()) {
  DWCallLogClear();
  const double start = ThreadSeconds();
  call();
  return ThreadSeconds() - start;
}

// Each half runs once before the measurement, the hooked one with the reads counted.
void MeasureCallKind(benchmark::State &state, const CallKind *kind) {
  WriteMainPrefs(kind->masterSwitch);
  double hooked = 0, mandated = 0;
  TimedCall(kind->mandated);
  DWDeviceResetReadCounts();
  TimedCall(kind->hooked);
  const NSUInteger reads = DWDeviceReadCount(kMainPrefs) + DWDeviceReadCount(kIconPalette) +
                           DWDeviceReadCount(kTextPalette);
  ++gCallsOfEachHalf;
  for (auto _ : state) {
    ++gCallsOfEachHalf;
    mandated += TimedCall(kind->mandated);
    const double seconds = TimedCall(kind->hooked);
    hooked += seconds;
    state.SetIterationTime(seconds);
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["hooked_us"] = benchmark::Counter(hooked * 1e6 / iterations);
  state.counters["mandated_us"] = benchmark::Counter(mandated * 1e6 / iterations);
  state.counters["ratio"] = benchmark::Counter(mandated > 0 ? hooked / mandated : 0);
  state.counters["reads"] = benchmark::Counter(static_cast<double>(reads));
  state.counters["calls_so_far"] = benchmark::Counter(static_cast<double>(gCallsOfEachHalf));
}

}  // namespace

int main(int argc, char **argv) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  NSString *library = @DUSKWELL_LIBRARY;
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--library=", 10) == 0) {
      library = [NSString stringWithUTF8String:argv[i] + 10];
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  }
  NoteOriginals();
  gDeviceRoot = [CopyExampleTheme() retain];
  NSString *error = nil;
  if (gDeviceRoot == nil || !DWLaunchHost(gDeviceRoot, library, &error)) {
    fprintf(stderr, "duskwell_bench: cannot launch the host: %s\n",
            error != nil ? [error UTF8String] : "no temporary device root");
    return 1;
  }
  // The launcher counts every allocation for the tests; a measurement does without.
  GSDebugAllocationActive(NO);
  gDictionary = [NSDictionary class];
  gColor = [UIColor class];
  MakeObjects();
  for (const CallKind &kind : kCallKinds) {
    benchmark::RegisterBenchmark(kind.name, MeasureCallKind, &kind)->UseManualTime()->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  [[NSFileManager defaultManager] removeItemAtPath:gDeviceRoot error:NULL];
  [pool release];
  return 0;
}
