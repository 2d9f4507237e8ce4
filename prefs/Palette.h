// The three palette files: fifteen boolean switches each, one per named colour, and the two rules
// that turn them into colours.
#pragma once

#include "../platform/Platform.h"
#include "../platform/Pool.h"

namespace dw {

enum class PaletteFile { icon, text, status };

// The fifteen named colours in binding order: white, gray and lightgray first, then the rest
// alphabetically. Every rule tests the keys in this order. Each row: the key stem and the UIColor
// class message.
#define DW_PALETTE_COLORS(ROW)                                                                   \
  ROW(white, whiteColor) ROW(gray, grayColor) ROW(lightgray, lightGrayColor) ROW(black, blackColor) \
  ROW(blue, blueColor) ROW(brown, brownColor) ROW(clear, clearColor) ROW(cyan, cyanColor)          \
  ROW(darkgray, darkGrayColor) ROW(green, greenColor) ROW(magenta, magentaColor)                   \
  ROW(orange, orangeColor) ROW(purple, purpleColor) ROW(red, redColor) ROW(yellow, yellowColor)

#define DW_PALETTE_ENUMERATOR(stem, message) stem,
enum class PaletteColor { DW_PALETTE_COLORS(DW_PALETTE_ENUMERATOR) };
#undef DW_PALETTE_ENUMERATOR
constexpr int PaletteColorCount = 15;

static inline id IconPalettePath() { return DW_STR("/var/mobile/Library/Preferences/com.tervan.icon.plist"); }
static inline id TextPalettePath() { return DW_STR("/var/mobile/Library/Preferences/com.tervan.textc.plist"); }
static inline id StatusPalettePath() { return DW_STR("/var/mobile/Library/Preferences/com.tervan.status.plist"); }

// The colour's stem followed by the file's one-digit suffix ("lightgray2"), a constant string.
id PaletteKey(PaletteColor color, PaletteFile file);

// The named colour's UIColor class message.
id NamedColor(PaletteColor color);

// One read of a palette file: a dictionary made with alloc/initWithContentsOfFile:, released when
// the reading ends. No dictionary when the file is missing or unreadable. The read and the key tests
// autorelease (the path, the key strings): the rules below hold them in a pool of their own.
class PaletteReading {
 public:
  explicit PaletteReading(PaletteFile file);
  ~PaletteReading();
  PaletteReading(const PaletteReading &) = delete;
  PaletteReading &operator=(const PaletteReading &) = delete;

  bool IsSet(PaletteColor color) const;

 private:
  PaletteFile file_;
  id dictionary_;
};

// The getter rule: the named colour of the first set key in binding order, or nil.
id FirstPaletteColor(PaletteFile file);

// The setter rule: every set key's named colour, in binding order, handed to `apply` at once. The
// apply step calls through a slot, so the pool of the reading is closed around it and opened again
// for the keys after it; the colour is held across.
template <typename Apply>
void ApplyPaletteColors(PaletteFile file, Apply apply) {
  void *pool = PushAutoreleasePool();
  PaletteReading palette(file);
  for (int i = 0; i < PaletteColorCount; ++i) {
    PaletteColor color = static_cast<PaletteColor>(i);
    if (!palette.IsSet(color)) continue;
    Owned named(Retain(NamedColor(color)));
    PopAutoreleasePool(pool);
    apply(named.get());
    pool = PushAutoreleasePool();
  }
  PopAutoreleasePool(pool);
}

}  // namespace dw
