// The hook table and the replacements it installs. The constructor walks the table once, in order;
// every replacement reaches the host's previous implementation through its own slot.

#include "../platform/Platform.h"
#include "../platform/Pool.h"
#include "../prefs/MainPrefs.h"
#include "../prefs/Palette.h"
#include "Rules.h"

using namespace dw;

#define DW_SLOT(cls, sel) _logos_orig$_ungrouped$##cls##$##sel
#define DW_METHOD(cls, sel) _logos_method$_ungrouped$##cls##$##sel

// ---- Repaint on layout: the host's layout, then the user's background while the switch is on.

#define DW_REPAINT_ON_LAYOUT(cls, key, fallback)                                               \
  static OrigSlot DW_SLOT(cls, layoutSubviews);                                                \
  static void DW_METHOD(cls, layoutSubviews)(id self, SEL _cmd) {                              \
    RepaintOnLayout(DW_SLOT(cls, layoutSubviews), self, _cmd, DW_STR(key), DW_STR(fallback)); \
  }

// "tabs", falling back to black.
DW_REPAINT_ON_LAYOUT(SPTNowPlayingContainerViewController, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTGaiaDevicePickerView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTNowPlayingDurationViewController, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTGaiaVolumeView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTContextMenuViewCancelButton, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTNowPlayingChromecastBarView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTPopupView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(UITableView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTNowPlayingBackgroundGradientView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTAsyncLoadingView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTNowPlayingBarContentView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(_UITableViewHeaderFooterViewBackground, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTStationEntityPullToRefreshView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(GLUENavigationCollectionViewCell, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(_UITableViewHeaderFooterContentView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTEntityTableHeaderView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(GLUEGradientView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(GLUETabBarImplementation, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(GLUETabBarItemView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(_UIBarBackground, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTCollectionToolbarHeaderView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTCeramicVerticalCollectionView, "tabs", "#000000")
DW_REPAINT_ON_LAYOUT(SPTTableView, "tabs", "#000000")

// "background", falling back to the stock dark grey.
DW_REPAINT_ON_LAYOUT(GLUEStatefulView, "background", "#181818")
DW_REPAINT_ON_LAYOUT(SPTPopupActionButton, "background", "#181818")
DW_REPAINT_ON_LAYOUT(UITableViewCell, "background", "#181818")
DW_REPAINT_ON_LAYOUT(UISearchBarTextField, "background", "#181818")
DW_REPAINT_ON_LAYOUT(SPTCeramicCollectionView, "background", "#181818")
DW_REPAINT_ON_LAYOUT(SPTTrackAccessoryLabel, "background", "#181818")
DW_REPAINT_ON_LAYOUT(UITableViewCellContentView, "background", "#181818")
DW_REPAINT_ON_LAYOUT(SPTTableViewCell, "background", "#181818")
DW_REPAINT_ON_LAYOUT(SPTNavigationTableViewCell, "background", "#181818")
DW_REPAINT_ON_LAYOUT(SPTShareScreenshotBannerView, "background", "#181818")
DW_REPAINT_ON_LAYOUT(SPTSettingsTableViewCell, "background", "#181818")
DW_REPAINT_ON_LAYOUT(SPTActionButton, "background", "#181818")
DW_REPAINT_ON_LAYOUT(UICollectionViewCell, "background", "#181818")
DW_REPAINT_ON_LAYOUT(HUBCollectionView, "background", "#181818")
DW_REPAINT_ON_LAYOUT(SPTInfoView, "background", "#181818")

// The two rows that break those pairings.
DW_REPAINT_ON_LAYOUT(SPTTableViewOfflineSwitchCell, "background", "#000000")
DW_REPAINT_ON_LAYOUT(GLUEButton, "tabs", "#181818")

// ---- Suppressed decorations: while the switch is on, the host's own decorations stay out.

static OrigSlot DW_SLOT(GLUEGradientView, glue_applyStyle$);
static void DW_METHOD(GLUEGradientView, glue_applyStyle$)(id self, SEL _cmd, id style) {
  id applied = MasterSwitchOn() ? nullptr : style;
  CallOrig<void>(DW_SLOT(GLUEGradientView, glue_applyStyle$), self, _cmd, applied);
}

static OrigSlot DW_SLOT(UITableViewLabel, _setBackgroundCGColor$);
static void DW_METHOD(UITableViewLabel, _setBackgroundCGColor$)(id self, SEL _cmd, CGColorRef color) {
  CallOrigUnlessSwitchOn(DW_SLOT(UITableViewLabel, _setBackgroundCGColor$), self, _cmd, color);
}

static OrigSlot DW_SLOT(SPTArtistNPVTrackModuleView, layoutSubviews);
static void DW_METHOD(SPTArtistNPVTrackModuleView, layoutSubviews)(id self, SEL _cmd) {
  OrigSlot orig = DW_SLOT(SPTArtistNPVTrackModuleView, layoutSubviews);
  CallOrig<void>(orig, self, _cmd);
  if (!MasterSwitchOn()) return CallOrig<void>(orig, self, _cmd);
  id gradient = DW_VALUE_FOR_KEY_IF_PRESENT(self, "_gradientView");
  Send<void>(gradient, DW_SEL("setHidden:"), static_cast<BOOL>(true));
}

static OrigSlot DW_SLOT(SPTTableBasedCollectionViewCell, _setBackgroundColor$);
static void DW_METHOD(SPTTableBasedCollectionViewCell, _setBackgroundColor$)(id self, SEL _cmd, id color) {
  CallOrigUnlessSwitchOn(DW_SLOT(SPTTableBasedCollectionViewCell, _setBackgroundColor$), self, _cmd, color);
}

static OrigSlot DW_SLOT(SPTEntityStickyHeaderView, bottomGradientView);
static id DW_METHOD(SPTEntityStickyHeaderView, bottomGradientView)(id self, SEL _cmd) {
  if (MasterSwitchOn()) return nullptr;
  return CallOrig<id>(DW_SLOT(SPTEntityStickyHeaderView, bottomGradientView), self, _cmd);
}

static OrigSlot DW_SLOT(SPTCeramicCarouselBackgroundView, setBackgroundImageBlurView$);
static void DW_METHOD(SPTCeramicCarouselBackgroundView, setBackgroundImageBlurView$)(id self, SEL _cmd, id view) {
  CallOrigUnlessSwitchOn(DW_SLOT(SPTCeramicCarouselBackgroundView, setBackgroundImageBlurView$), self, _cmd, view);
}

static OrigSlot DW_SLOT(SPTCeramicCarouselBackgroundView, setShadowGradientLayer$);
static void DW_METHOD(SPTCeramicCarouselBackgroundView, setShadowGradientLayer$)(id self, SEL _cmd, id layer) {
  CallOrigUnlessSwitchOn(DW_SLOT(SPTCeramicCarouselBackgroundView, setShadowGradientLayer$), self, _cmd, layer);
}

// ---- Colour getters: the palette's first set colour, else the host's own.

static OrigSlot DW_SLOT(SPTIconConfiguration, iconColor);
static id DW_METHOD(SPTIconConfiguration, iconColor)(id self, SEL _cmd) {
  if (id named = FirstPaletteColor(PaletteFile::icon)) return named;
  return CallOrig<id>(DW_SLOT(SPTIconConfiguration, iconColor), self, _cmd);
}

static OrigSlot DW_SLOT(GLUELabelStyle, textColor);
static id DW_METHOD(GLUELabelStyle, textColor)(id self, SEL _cmd) {
  if (id named = FirstPaletteColor(PaletteFile::text)) return named;
  return CallOrig<id>(DW_SLOT(GLUELabelStyle, textColor), self, _cmd);
}

static OrigSlot DW_SLOT(UIStatusBarForegroundStyleAttributes, tintColor);
static id DW_METHOD(UIStatusBarForegroundStyleAttributes, tintColor)(id self, SEL _cmd) {
  if (id named = FirstPaletteColor(PaletteFile::status)) return named;
  return CallOrig<id>(DW_SLOT(UIStatusBarForegroundStyleAttributes, tintColor), self, _cmd);
}

static OrigSlot DW_SLOT(SPTNowPlayingSlider, _effectiveTintColorWithImage$);
static id DW_METHOD(SPTNowPlayingSlider, _effectiveTintColorWithImage$)(id self, SEL _cmd, id image) {
  if (id named = FirstPaletteColor(PaletteFile::icon)) return named;
  return CallOrig<id>(DW_SLOT(SPTNowPlayingSlider, _effectiveTintColorWithImage$), self, _cmd, image);
}

// ---- Labels: the user's text colour on every layout pass, and the text palette after the caller's colour.

static OrigSlot DW_SLOT(UILabel, layoutSubviews);
static void DW_METHOD(UILabel, layoutSubviews)(id self, SEL _cmd) {
  CallOrig<void>(DW_SLOT(UILabel, layoutSubviews), self, _cmd);
  if (MasterSwitchOn()) SetUserTextColor(self);
  CallOrig<void>(DW_SLOT(UILabel, layoutSubviews), self, _cmd);
}

static OrigSlot DW_SLOT(UILabel, _setColor$);
static void DW_METHOD(UILabel, _setColor$)(id self, SEL _cmd, id color) {
  OrigSlot orig = DW_SLOT(UILabel, _setColor$);
  CallOrig<void>(orig, self, _cmd, color);
  ApplyPaletteColors(PaletteFile::text, [&](id named) { CallOrig<void>(orig, self, _cmd, named); });
  CallOrig<void>(orig, self, _cmd, color);
}

static OrigSlot DW_SLOT(UILabel, _setTextColor$);
static void DW_METHOD(UILabel, _setTextColor$)(id self, SEL _cmd, id color) {
  OrigSlot orig = DW_SLOT(UILabel, _setTextColor$);
  CallOrig<void>(orig, self, _cmd, color);
  ApplyPaletteColors(PaletteFile::text, [&](id named) { CallOrig<void>(orig, self, _cmd, named); });
}

static OrigSlot DW_SLOT(UIButtonLabel, layoutSubviews);
static void DW_METHOD(UIButtonLabel, layoutSubviews)(id self, SEL _cmd) {
  CallOrig<void>(DW_SLOT(UIButtonLabel, layoutSubviews), self, _cmd);
  if (MasterSwitchOn()) SetUserTextColor(self);
}

// ---- The background filter: white and the stock greys become the user's background colour.
// The substitute goes straight to the previous implementation, so it is not filtered twice.

static OrigSlot DW_SLOT(UIView, setBackgroundColor$);
static void DW_METHOD(UIView, setBackgroundColor$)(id self, SEL _cmd, id color) {
  Owned userColor(ReadPrefColor(DW_STR("background"), DW_STR("#000000")));
  const bool replace = MasterSwitchOn() && IsStockBackground(color);
  CallOrig<void>(DW_SLOT(UIView, setBackgroundColor$), self, _cmd, replace ? userColor.get() : color);
}

// ---- The hook table, in installation order.

namespace {

struct HookSpec {
  const char *className;
  SEL selector;
  IMP replacement;
  OrigSlot *slot;
};

#define DW_HOOK(cls, sel, name) \
  { #cls, DW_SEL(name), FunctionCast<IMP>(&DW_METHOD(cls, sel)), &DW_SLOT(cls, sel) }

bool SameName(const char *a, const char *b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

}  // namespace

// Looks each class up once, just before its first row, and installs its rows in order. The table
// lives in the constructor: built where it is used, it needs no initialiser of its own. The
// library's selector and class references and constant strings are bound first (on the device the
// loader has done it already).
__attribute__((constructor)) static void _logosLocalInit() {
  BindReferences();
  const HookSpec hookTable[] = {
      DW_HOOK(SPTNowPlayingContainerViewController, layoutSubviews, "layoutSubviews"),          // 1
      DW_HOOK(GLUEStatefulView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTPopupActionButton, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTGaiaDevicePickerView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTTableViewOfflineSwitchCell, layoutSubviews, "layoutSubviews"),                 // 5
      DW_HOOK(SPTNowPlayingDurationViewController, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTGaiaVolumeView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTContextMenuViewCancelButton, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTNowPlayingChromecastBarView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTPopupView, layoutSubviews, "layoutSubviews"),                                  // 10
      DW_HOOK(UITableView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(UITableViewCell, layoutSubviews, "layoutSubviews"),
      DW_HOOK(UISearchBarTextField, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTNowPlayingBackgroundGradientView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTAsyncLoadingView, layoutSubviews, "layoutSubviews"),                           // 15
      DW_HOOK(SPTNowPlayingBarContentView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(_UITableViewHeaderFooterViewBackground, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTStationEntityPullToRefreshView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(GLUENavigationCollectionViewCell, layoutSubviews, "layoutSubviews"),
      DW_HOOK(_UITableViewHeaderFooterContentView, layoutSubviews, "layoutSubviews"),           // 20
      DW_HOOK(SPTEntityTableHeaderView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(GLUEGradientView, glue_applyStyle$, "glue_applyStyle:"),
      DW_HOOK(GLUEGradientView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(GLUETabBarImplementation, layoutSubviews, "layoutSubviews"),
      DW_HOOK(GLUETabBarItemView, layoutSubviews, "layoutSubviews"),                            // 25
      DW_HOOK(_UIBarBackground, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTCeramicCollectionView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTTrackAccessoryLabel, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTCollectionToolbarHeaderView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTCeramicVerticalCollectionView, layoutSubviews, "layoutSubviews"),              // 30
      DW_HOOK(SPTTableView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(UITableViewCellContentView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(UITableViewLabel, _setBackgroundCGColor$, "_setBackgroundCGColor:"),
      DW_HOOK(SPTTableViewCell, layoutSubviews, "layoutSubviews"),
      DW_HOOK(GLUEButton, layoutSubviews, "layoutSubviews"),                                    // 35
      DW_HOOK(SPTNavigationTableViewCell, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTShareScreenshotBannerView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTSettingsTableViewCell, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTActionButton, layoutSubviews, "layoutSubviews"),
      DW_HOOK(UICollectionViewCell, layoutSubviews, "layoutSubviews"),                          // 40
      DW_HOOK(HUBCollectionView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTArtistNPVTrackModuleView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTInfoView, layoutSubviews, "layoutSubviews"),
      DW_HOOK(SPTTableBasedCollectionViewCell, _setBackgroundColor$, "_setBackgroundColor:"),
      DW_HOOK(SPTEntityStickyHeaderView, bottomGradientView, "bottomGradientView"),             // 45
      DW_HOOK(SPTCeramicCarouselBackgroundView, setBackgroundImageBlurView$, "setBackgroundImageBlurView:"),
      DW_HOOK(SPTCeramicCarouselBackgroundView, setShadowGradientLayer$, "setShadowGradientLayer:"),
      DW_HOOK(SPTIconConfiguration, iconColor, "iconColor"),
      DW_HOOK(UILabel, layoutSubviews, "layoutSubviews"),
      DW_HOOK(UILabel, _setColor$, "_setColor:"),                                               // 50
      DW_HOOK(UILabel, _setTextColor$, "_setTextColor:"),
      DW_HOOK(UIButtonLabel, layoutSubviews, "layoutSubviews"),
      DW_HOOK(GLUELabelStyle, textColor, "textColor"),
      DW_HOOK(UIStatusBarForegroundStyleAttributes, tintColor, "tintColor"),
      DW_HOOK(SPTNowPlayingSlider, _effectiveTintColorWithImage$, "_effectiveTintColorWithImage:"), // 55
      DW_HOOK(UIView, setBackgroundColor$, "setBackgroundColor:"),
  };
  Class cls = nullptr;
  const HookSpec *previous = nullptr;
  for (const HookSpec &row : hookTable) {
    if (previous == nullptr || !SameName(row.className, previous->className)) cls = LookUpClass(row.className);
    MSHookMessageEx(cls, row.selector, row.replacement, row.slot);
    previous = &row;
  }
}
