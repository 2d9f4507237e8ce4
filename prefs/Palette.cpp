#include "Palette.h"

#include "MainPrefs.h"

namespace dw {

namespace {

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
#define DW_PALETTE_KEYS(stem, message)                          \
  case PaletteColor::stem:                                      \
    switch (file) {                                             \
      case PaletteFile::icon: return DW_STR(#stem "1");          \
      case PaletteFile::text: return DW_STR(#stem "2");          \
      case PaletteFile::status: return DW_STR(#stem "3");        \
    }                                                           \
    break;
  switch (color) { DW_PALETTE_COLORS(DW_PALETTE_KEYS) }
#undef DW_PALETTE_KEYS
  return nullptr;
}

id NamedColor(PaletteColor color) {
#define DW_NAMED_COLOR(stem, message) \
  case PaletteColor::stem: return Send<id>(DW_CLASS(UIColor), DW_SEL(#message));
  switch (color) { DW_PALETTE_COLORS(DW_NAMED_COLOR) }
#undef DW_NAMED_COLOR
  return nullptr;
}

PaletteReading::PaletteReading(PaletteFile file)
    : file_(file),
      dictionary_(Send<id>(Send<id>(DW_CLASS(NSDictionary), DW_SEL("alloc")), DW_SEL("initWithContentsOfFile:"),
                           PathOf(file))) {}

PaletteReading::~PaletteReading() { Release(dictionary_); }

bool PaletteReading::IsSet(PaletteColor color) const {
  return ReadsTrue(Send<id>(dictionary_, DW_SEL("objectForKey:"), PaletteKey(color, file_)));
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
