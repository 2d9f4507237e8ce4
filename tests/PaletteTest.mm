// Named colour palettes: the four colour getters take the first set colour, the two label setters
// hand every set colour to the host after the caller's.
#import "tests/Support.h"

#include <gtest/gtest.h>

#import "host/HostClasses.h"
#import "host/Screens.h"

namespace {

// The receivers as the host sets them up.
id Sample(NSString *className) {
  if ([className isEqualToString:@"SPTIconConfiguration"]) return DWHostSampleIconConfiguration();
  if ([className isEqualToString:@"GLUELabelStyle"]) return DWHostSampleLabelStyle();
  return DWHostSampleStatusBarAttributes();
}

UISlider *Slider() { return DWHostSampleSlider(); }

UILabel *Label() { return [[[UILabel alloc] initWithFrame:DWRectMake(0, 0, 200, 20)] autorelease]; }

struct Getter {
  const char *className, *selector;
  const char *palette;
  const char *hostColor;  // what the host's own getter answers for the sample receiver
};

const Getter kGetters[] = {
    {"SPTIconConfiguration", "iconColor", kIconPalette, "#B3B3B3FF"},
    {"GLUELabelStyle", "textColor", kTextPalette, "#FFFFFFFF"},
    {"UIStatusBarForegroundStyleAttributes", "tintColor", kStatusPalette, "#FFFFFFFF"},
    {"SPTNowPlayingSlider", "_effectiveTintColorWithImage:", kIconPalette, "#1DB954FF"},
};

id Ask(const Getter &getter, id receiver, UIImage *image) {
  SEL selector = sel_registerName(getter.selector);
  return image != nil ? [receiver performSelector:selector withObject:image] : [receiver performSelector:selector];
}

id ReceiverFor(const Getter &getter) {
  return strcmp(getter.className, "SPTNowPlayingSlider") == 0 ? Slider()
                                                              : Sample([NSString stringWithUTF8String:getter.className]);
}

UIImage *ImageFor(const Getter &getter) {
  return strcmp(getter.className, "SPTNowPlayingSlider") == 0 ? [UIImage imageNamed:@"thumb"] : nil;
}

}  // namespace

TEST(ColourGetters, WithoutPalettesAskTheHostOnceAndReturnItsColour) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(@"#336699", @"#224466", @"#EEEEEE"));
  for (const Getter &getter : kGetters) {
    id receiver = ReceiverFor(getter);
    UIImage *image = ImageFor(getter);
    DWCallLogClear();
    DWDeviceResetReadCounts();
    id color = Ask(getter, receiver, image);
    std::vector<DWCall *> calls;
    for (DWCall *call : Items(DWCallLogEntries())) {
      if ([call->selector isEqualToString:[NSString stringWithUTF8String:getter.selector]]) calls.push_back(call);
    }
    ASSERT_EQ(calls.size(), 1u) << getter.className;
    EXPECT_EQ(calls[0]->receiver, receiver);
    EXPECT_EQ(calls[0]->argument, image);
    EXPECT_EQ(Hex(color), getter.hostColor) << getter.className;
    EXPECT_EQ(Reads(getter.palette), 1u);
    EXPECT_EQ(Reads(kMainPrefs), 0u);
  }
}

TEST(ColourGetters, ReturnTheFirstSetColourWithoutAskingTheHost) {
  DeviceRoot device;
  device.Write(kIconPalette, PaletteWith({"black1", "white1", "yellow1"}));
  device.Write(kTextPalette, PaletteWith({"red2", "lightgray2"}));
  device.Write(kStatusPalette, PaletteWith({"clear3"}));
  DWCallLogClear();
  EXPECT_EQ([Sample(@"SPTIconConfiguration") iconColor], [UIColor whiteColor]);
  EXPECT_EQ([Slider() _effectiveTintColorWithImage:[UIImage imageNamed:@"thumb"]], [UIColor whiteColor]);
  EXPECT_EQ([Sample(@"GLUELabelStyle") textColor], [UIColor lightGrayColor]);
  EXPECT_EQ([Sample(@"UIStatusBarForegroundStyleAttributes") tintColor], [UIColor clearColor]);
  EXPECT_EQ([DWCallLogEntries() count], 0u);
}

TEST(ColourGetters, ActWhateverTheMasterSwitchSays) {
  DeviceRoot device;
  device.Write(kTextPalette, PaletteWith({"yellow2"}));
  for (NSDictionary *prefs : Items([NSArray arrayWithObjects:SwitchOff(), SwitchOn(), nil])) {
    device.Write(kMainPrefs, prefs);
    EXPECT_EQ([Sample(@"GLUELabelStyle") textColor], [UIColor yellowColor]);
  }
}

TEST(ColourGetters, WalkAllFifteenKeysInBindingOrder) {
  DeviceRoot device;
  const char *order[] = {"white1", "gray1", "lightgray1", "black1", "blue1", "brown1", "clear1", "cyan1",
                         "darkgray1", "green1", "magenta1", "orange1", "purple1", "red1", "yellow1"};
  NSArray *colors = [NSArray arrayWithObjects:[UIColor whiteColor], [UIColor grayColor], [UIColor lightGrayColor],
                                              [UIColor blackColor], [UIColor blueColor], [UIColor brownColor],
                                              [UIColor clearColor], [UIColor cyanColor], [UIColor darkGrayColor],
                                              [UIColor greenColor], [UIColor magentaColor], [UIColor orangeColor],
                                              [UIColor purpleColor], [UIColor redColor], [UIColor yellowColor], nil];
  // Set the keys from the last to the first: each newly set key must win.
  NSMutableDictionary *palette = [NSMutableDictionary dictionary];
  for (int i = 14; i >= 0; --i) {
    [palette setObject:[NSNumber numberWithBool:YES] forKey:[NSString stringWithUTF8String:order[i]]];
    device.Write(kIconPalette, palette);
    EXPECT_EQ([Sample(@"SPTIconConfiguration") iconColor], [colors objectAtIndex:i]) << order[i];
  }
}

TEST(ColourGetters, IgnoreKeysThatAreNotSetOrNotTheirs) {
  DeviceRoot device;
  NSMutableDictionary *noise = [NSMutableDictionary dictionary];
  [noise setObject:[NSNumber numberWithBool:YES] forKey:@"white3"];       // the status file's suffix
  [noise setObject:[NSNumber numberWithBool:YES] forKey:@"lightGray1"];   // wrong case
  [noise setObject:[NSNumber numberWithBool:YES] forKey:@"White1"];
  [noise setObject:[NSNumber numberWithBool:NO] forKey:@"darkgray1"];
  [noise setObject:[NSNumber numberWithInt:0] forKey:@"red1"];
  [noise setObject:[NSArray arrayWithObject:@"yes"] forKey:@"green1"];   // no boolean reading
  [noise setObject:[NSDate date] forKey:@"blue1"];
  device.Write(kIconPalette, noise);
  UIColor *host = [Sample(@"SPTIconConfiguration") iconColor];
  EXPECT_NE(host, [UIColor whiteColor]);
  device.Remove(kIconPalette);
  EXPECT_EQ(Hex([Sample(@"SPTIconConfiguration") iconColor]), Hex(host));
  [noise setObject:[NSNumber numberWithInt:2] forKey:@"red1"];  // a non-zero number is set
  device.Write(kIconPalette, noise);
  EXPECT_EQ([Sample(@"SPTIconConfiguration") iconColor], [UIColor redColor]);
}

TEST(ColourGetters, SeeAKeySetBetweenTwoCalls) {
  DeviceRoot device;
  UIColor *host = [Sample(@"UIStatusBarForegroundStyleAttributes") tintColor];
  EXPECT_NE(host, [UIColor orangeColor]);
  device.Write(kStatusPalette, PaletteWith({"orange3"}));
  EXPECT_EQ([Sample(@"UIStatusBarForegroundStyleAttributes") tintColor], [UIColor orangeColor]);
}

// ---- Label setters

namespace {

std::vector<id> ColoursHandedTo(const char *selector, UILabel *label) {
  std::vector<id> colours;
  for (DWCall *call : Calls("UILabel", selector, label)) colours.push_back(call->argument);
  return colours;
}

// A new label sent _setTextColor: and then _setColor: with `caller`, and the colours each setter
// handed to the host's implementation.
struct LabelSent {
  UILabel *label;
  std::vector<id> text, color;
};

LabelSent SendBothLabelSetters(UIColor *caller) {
  LabelSent sent = {Label(), {}, {}};
  DWCallLogClear();
  [sent.label _setTextColor:caller];
  [sent.label _setColor:caller];
  sent.text = ColoursHandedTo("_setTextColor:", sent.label);
  sent.color = ColoursHandedTo("_setColor:", sent.label);
  return sent;
}

}  // namespace

TEST(LabelSetters, HandOverOnlyTheCallersColourWithoutATextPalette) {
  DeviceRoot device;
  device.Write(kTextPalette, PaletteWith({"white1", "white3"}));
  UIColor *caller = ColorFromBytes(1, 2, 3);
  const LabelSent sent = SendBothLabelSetters(caller);
  EXPECT_EQ(sent.text, std::vector<id>({caller}));
  EXPECT_EQ(sent.color, std::vector<id>({caller, caller}));
}

TEST(LabelSetters, HandOverTheCallersColourThenEverySetColourInOrder) {
  DeviceRoot device;
  device.Write(kTextPalette, PaletteWith({"red2", "white2"}));
  UIColor *caller = ColorFromBytes(1, 2, 3);
  const LabelSent sent = SendBothLabelSetters(caller);
  UIColor *white = [UIColor whiteColor], *red = [UIColor redColor];
  EXPECT_EQ(sent.text, std::vector<id>({caller, white, red}));
  EXPECT_EQ(sent.color, std::vector<id>({caller, white, red, caller}));
  EXPECT_EQ([Sample(@"GLUELabelStyle") textColor], white);  // the getter rule takes the first
}

TEST(LabelSetters, HandOverAllFifteenWithANilCallerColour) {
  DeviceRoot device;
  device.Write(kTextPalette, PaletteWith({"white2", "gray2", "lightgray2", "black2", "blue2", "brown2", "clear2", "cyan2",
                                          "darkgray2", "green2", "magenta2", "orange2", "purple2", "red2", "yellow2"}));
  device.Write(kMainPrefs, SwitchOff());
  const LabelSent sent = SendBothLabelSetters(nil);
  const std::vector<id> &text = sent.text, &color = sent.color;
  ASSERT_EQ(text.size(), 16u);
  ASSERT_EQ(color.size(), 17u);
  EXPECT_EQ(text.front(), nil);
  EXPECT_EQ(text.back(), [UIColor yellowColor]);
  EXPECT_EQ(color[1], [UIColor whiteColor]);
  EXPECT_EQ(color[7], [UIColor clearColor]);
  EXPECT_EQ(color.back(), nil);
  EXPECT_EQ([sent.label textColor], nil);
}

TEST(LabelSetters, ReadTheTextPaletteOncePerCallAndKeepNothing) {
  DeviceRoot device;
  device.Write(kTextPalette, PaletteWith({"red2"}));
  UILabel *label = Label();
  [label _setTextColor:[UIColor blueColor]];
  const int dictionaries = LiveDictionaries(), colors = LiveColors();
  DWDeviceResetReadCounts();
  for (int i = 0; i < 100; ++i) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    [label _setTextColor:[UIColor blueColor]];
    [label _setColor:[UIColor blueColor]];
    [pool release];
  }
  EXPECT_EQ(Reads(kTextPalette), 200u);
  EXPECT_EQ(Reads(kMainPrefs), 0u);
  DWCallLogClear();
  EXPECT_EQ(LiveDictionaries(), dictionaries);
  EXPECT_EQ(LiveColors(), colors);
}
