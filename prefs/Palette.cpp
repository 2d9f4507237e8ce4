#include "Palette.h"

#include "MainPrefs.h"

namespace dw {

namespace {

struct NamedColorRow {
  const char *stem;
  const char *message;
};

constexpr NamedColorRow kNamedColors[PaletteColorCount] = {
    {"white", "whiteColor"},     {"gray", "grayColor"},       {"lightgray", "lightGrayColor"},
    {"black", "blackColor"},     {"blue", "blueColor"},       {"brown", "brownColor"},
    {"clear", "clearColor"},     {"cyan", "cyanColor"},       {"darkgray", "darkGrayColor"},
    {"green", "greenColor"},     {"magenta", "magentaColor"}, {"orange", "orangeColor"},
    {"purple", "purpleColor"},   {"red", "redColor"},         {"yellow", "yellowColor"},
};

const NamedColorRow &RowOf(PaletteColor color) { return kNamedColors[static_cast<int>(color)]; }

char SuffixOf(PaletteFile file) {
  switch (file) {
    case PaletteFile::icon: return '1';
    case PaletteFile::text: return '2';
    case PaletteFile::status: return '3';
  }
  return '0';
}

id PathOf(PaletteFile file) {
  switch (file) {
    case PaletteFile::icon: return IconPalettePath();
    case PaletteFile::text: return TextPalettePath();
    case PaletteFile::status: return StatusPalettePath();
  }
  return nullptr;
}

}  // namespace

id PaletteKey(PaletteColor color, PaletteFile file) {
  char key[16];  // the longest stem is nine letters
  int length = 0;
  for (const char *c = RowOf(color).stem; *c != '\0'; ++c) key[length++] = *c;
  key[length++] = SuffixOf(file);
  key[length] = '\0';
  return StringFromUTF8(key);
}

id NamedColor(PaletteColor color) { return Send<id>(ClassRef("UIColor"), Sel(RowOf(color).message)); }

PaletteReading::PaletteReading(PaletteFile file)
    : file_(file),
      dictionary_(Send<id>(Send<id>(ClassRef("NSDictionary"), Sel("alloc")), Sel("initWithContentsOfFile:"),
                           PathOf(file))) {}

PaletteReading::~PaletteReading() { Release(dictionary_); }

bool PaletteReading::IsSet(PaletteColor color) const {
  return ReadsTrue(Send<id>(dictionary_, Sel("objectForKey:"), PaletteKey(color, file_)));
}

// Nothing here calls through a slot, so one pool holds the whole reading; the colour leaves it
// retained and goes to the caller's pool, as a getter's result does.
id FirstPaletteColor(PaletteFile file) {
  id found = nullptr;
  {
    LocalPool pool;
    PaletteReading palette(file);
    for (int i = 0; i < PaletteColorCount && found == nullptr; ++i) {
      PaletteColor color = static_cast<PaletteColor>(i);
      if (palette.IsSet(color)) found = Retain(NamedColor(color));
    }
  }
  return Autorelease(found);
}

}  // namespace dw
