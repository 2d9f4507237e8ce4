// render-screens: the host's screens drawn into one strip. The preview runs this in a child process
// for the half without the library, because a loaded library cannot be unloaded again.
#import "Commands.h"
#import "Render.h"

#import "host/HostClasses.h"
#import "host/Screens.h"

#include <math.h>

// Frames larger than this are a host bug, not a screen; refusing them keeps the casts in range.
static const double kLargestSide = 20000;

static BOOL SetSource(cairo_t *cr, UIColor *color) {
  DWCGFloat r, g, b, a;
  if (color == nil || ![color getRed:&r green:&g blue:&b alpha:&a]) return NO;
  cairo_set_source_rgba(cr, (double)r, (double)g, (double)b, (double)a);
  return YES;
}

static void FillChecker(cairo_t *cr, double width, double height) {
  const double cell = 8;
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_clip(cr);
  cairo_set_source_rgb(cr, 0.80, 0.80, 0.80);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0.62, 0.62, 0.62);
  for (double y = 0; y < height; y += cell) {
    for (double x = ((long)(y / cell) % 2) * cell; x < width; x += 2 * cell) cairo_rectangle(cr, x, y, cell, cell);
  }
  cairo_fill(cr);
  cairo_restore(cr);
}

static void DrawText(cairo_t *cr, NSString *text, UIColor *color, DWRect frame) {
  if ([text length] == 0 || !SetSource(cr, color)) return;
  double size = fmin(15, fmax(7, (double)frame.height * 0.7));
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, (double)frame.width, (double)frame.height);
  cairo_clip(cr);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_font_extents_t font;
  cairo_font_extents(cr, &font);
  cairo_move_to(cr, 2, ((double)frame.height + font.ascent - font.descent) / 2);
  cairo_show_text(cr, [text UTF8String]);
  cairo_restore(cr);
}

static void RoundedRect(cairo_t *cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

// Icons are a rounded square in the colour the icon configuration reports.
static void DrawIcon(cairo_t *cr, SPTIconView *icon, DWRect frame) {
  if (!SetSource(cr, [icon iconTintColor])) return;
  double side = fmin((double)frame.width, (double)frame.height) * 0.75;
  RoundedRect(cr, ((double)frame.width - side) / 2, ((double)frame.height - side) / 2, side, side, side / 4);
  cairo_fill(cr);
}

// Clock, signal bars and battery in the status bar's tint.
static void DrawStatusBar(cairo_t *cr, UIStatusBar *bar, DWRect frame) {
  UIColor *tint = [[bar foregroundStyle] tintColor];
  DWRect clock = DWRectMake(8, 0, 60, frame.height);
  DrawText(cr, @"9:41", tint, clock);
  if (!SetSource(cr, tint)) return;
  double mid = (double)frame.height / 2, right = (double)frame.width;
  for (int i = 0; i < 4; ++i) cairo_rectangle(cr, right - 80 + i * 5, mid + 4 - 2 * (i + 1), 3, 2 * (i + 1));
  cairo_fill(cr);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, right - 40.5, mid - 5.5, 24, 11);
  cairo_stroke(cr);
  cairo_rectangle(cr, right - 38, mid - 3, 16, 6);
  cairo_rectangle(cr, right - 16, mid - 2, 2, 4);
  cairo_fill(cr);
}

// The slider's track and thumb in the tint it draws with.
static void DrawSlider(cairo_t *cr, UISlider *slider, DWRect frame) {
  if (!SetSource(cr, [slider _effectiveTintColorWithImage:[slider thumbImage]])) return;
  double mid = (double)frame.height / 2, width = (double)frame.width;
  cairo_rectangle(cr, 0, mid - 1.5, width, 3);
  cairo_fill(cr);
  cairo_arc(cr, width * 0.35, mid, fmin(6, mid), 0, 2 * M_PI);
  cairo_fill(cr);
}

static void DrawView(cairo_t *cr, UIView *view) {
  if ([view isHidden]) return;  // nor its subviews
  DWRect frame = [view frame];
  cairo_save(cr);
  cairo_translate(cr, (double)frame.x, (double)frame.y);
  if (SetSource(cr, [view backgroundColor])) {
    cairo_rectangle(cr, 0, 0, (double)frame.width, (double)frame.height);
    cairo_fill(cr);
  }
  if ([view isKindOfClass:[UILabel class]]) DrawText(cr, [(UILabel *)view text], [(UILabel *)view textColor], frame);
  if ([view isKindOfClass:[SPTIconView class]]) DrawIcon(cr, (SPTIconView *)view, frame);
  if ([view isKindOfClass:[UIStatusBar class]]) DrawStatusBar(cr, (UIStatusBar *)view, frame);
  if ([view isKindOfClass:[UISlider class]]) DrawSlider(cr, (UISlider *)view, frame);
  for (UIView *subview in [view subviews]) DrawView(cr, subview);
  cairo_restore(cr);
}

static BOOL InRange(double value) { return value >= 1 && value <= kLargestSide; }

cairo_surface_t *DWRenderScreenStrip(NSMutableArray *names, NSMutableArray *heights, int *width) {
  NSArray *screens = DWHostBuildScreens();
  double stripWidth = 0, stripHeight = 0;
  for (DWScreen *screen in screens) {
    [[screen root] layoutIfNeeded];
    DWRect frame = [[screen root] frame];
    if (!InRange((double)frame.width) || !InRange((double)frame.height)) {
      DWPrintError(@"screen '%@' has an unusable size %gx%g", [screen name], (double)frame.width,
                   (double)frame.height);
      return NULL;
    }
    stripWidth = fmax(stripWidth, ceil((double)frame.width));
    stripHeight += ceil((double)frame.height);
    [names addObject:[screen name]];
    [heights addObject:[NSNumber numberWithInt:(int)ceil((double)frame.height)]];
  }
  if (!InRange(stripWidth) || !InRange(stripHeight)) {
    DWPrintError(@"the screens make an unusable strip of %gx%g points", stripWidth, stripHeight);
    return NULL;
  }
  *width = (int)stripWidth;
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, *width, (int)stripHeight);
  cairo_t *cr = cairo_create(surface);
  double y = 0;
  for (DWScreen *screen in screens) {
    DWRect frame = [[screen root] frame];
    cairo_save(cr);
    cairo_translate(cr, 0, y);
    FillChecker(cr, (double)frame.width, (double)frame.height);
    cairo_rectangle(cr, 0, 0, (double)frame.width, (double)frame.height);
    cairo_clip(cr);
    // The root sits at the screen's origin whatever its own frame origin says.
    cairo_translate(cr, -(double)frame.x, -(double)frame.y);
    DrawView(cr, [screen root]);
    cairo_restore(cr);
    y += ceil((double)frame.height);
  }
  cairo_destroy(cr);
  return surface;
}

BOOL DWWritePNG(cairo_surface_t *surface, NSString *path, NSString **error) {
  cairo_status_t status = cairo_surface_write_to_png(surface, [path fileSystemRepresentation]);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = [NSString stringWithFormat:@"%@: cannot write PNG (%s)", path, cairo_status_to_string(status)];
    return NO;
  }
  return YES;
}

int DWRunRenderScreens(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments
                                command:@"render-screens"
                                  flags:[NSArray arrayWithObject:@"--without-library"]
                                 values:[NSArray arrayWithObject:@"--out"]];
  if (options == nil) return 2;
  NSString *out = [options value:@"--out"];
  if (out == nil) {
    DWPrintError(@"render-screens: --out FILE is required");
    return 2;
  }
  if (!DWLaunchForCommand(options, ![options has:@"--without-library"])) return 2;
  int width = 0;
  cairo_surface_t *strip = DWRenderScreenStrip([NSMutableArray array], [NSMutableArray array], &width);
  if (strip == NULL) return 1;
  NSString *error = nil;
  BOOL written = DWWritePNG(strip, out, &error);
  cairo_surface_destroy(strip);
  if (!written) {
    DWPrintError(@"render-screens: %@", error);
    return 1;
  }
  return 0;
}
