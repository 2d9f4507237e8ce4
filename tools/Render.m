// render-screens: the host's screens drawn into one strip. The preview runs this in a child process
// for the half without the library, because a loaded library cannot be unloaded again.
#import "Commands.h"
#import "Render.h"
#import "ColorFormat.h"

#import "host/HostClasses.h"
#import "host/Screens.h"

#include <errno.h>
#include <math.h>
#include <pango/pangocairo.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

// Frames larger than this are a host bug, not a screen; refusing them keeps the casts in range.
static const double kLargestSide = 20000;

NSString *DWPainterName(DWPainter painter) {
  switch (painter) {
    case DWPainterTabs: return @"\"tabs\"";
    case DWPainterBackground: return @"\"background\"";
    case DWPainterFilter: return @"the filter";
    default: return @"the host";
  }
}

void DWSetOutlineStyle(cairo_t *cr, DWPainter painter) {
  static const double dash[] = {6, 3}, dot[] = {2, 3};
  cairo_set_dash(cr, NULL, 0, 0);
  cairo_set_line_width(cr, 2);
  switch (painter) {
    case DWPainterTabs:
      cairo_set_source_rgb(cr, 1.0, 0.58, 0.0);
      break;
    case DWPainterBackground:
      cairo_set_source_rgb(cr, 0.2, 0.82, 1.0);
      break;
    case DWPainterFilter:
      cairo_set_source_rgb(cr, 1.0, 0.23, 0.83);
      cairo_set_dash(cr, dash, 2, 0);
      break;
    default:
      cairo_set_source_rgb(cr, 0.85, 0.85, 0.55);
      cairo_set_line_width(cr, 1);
      cairo_set_dash(cr, dot, 2, 0);
      break;
  }
}

NSString *DWViewKey(NSString *screen, NSString *path) { return [NSString stringWithFormat:@"%@:%@", screen, path]; }

NSString *DWViewPathComponent(id view, NSUInteger index) {
  return [NSString stringWithFormat:@"%@[%lu]", NSStringFromClass([view class]), (unsigned long)index];
}

static BOOL SetSource(cairo_t *cr, UIColor *color) {
  DWCGFloat r, g, b, a;
  if (color == nil || ![color getRed:&r green:&g blue:&b alpha:&a]) return NO;
  cairo_set_source_rgba(cr, (double)r, (double)g, (double)b, (double)a);
  return YES;
}

double DWDrawTextLine(cairo_t *cr, NSString *text, double x, double y, double width, double height, double size,
                      double minimumSize, BOOL bold, DWTextPlacement placement) {
  if ([text length] == 0 || width <= 1 || height <= 1) return 0;
  PangoLayout *layout = pango_cairo_create_layout(cr);
  PangoFontDescription *font = pango_font_description_from_string(bold ? "DejaVu Sans Bold" : "DejaVu Sans");
  pango_layout_set_text(layout, [text UTF8String], -1);
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  pango_layout_set_width(layout, (int)(width * PANGO_SCALE));
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  pango_layout_set_alignment(layout, placement == DWTextCenter  ? PANGO_ALIGN_CENTER
                                     : placement == DWTextRight ? PANGO_ALIGN_RIGHT
                                                                : PANGO_ALIGN_LEFT);
  // The largest size, in half pixels, at which the whole text fits; the smallest one else, ellipsized.
  for (;;) {
    pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    if (!pango_layout_is_ellipsized(layout) || size - 0.5 < minimumSize) break;
    size -= 0.5;
  }
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  cairo_save(cr);
  cairo_rectangle(cr, x, y, width, height);
  cairo_clip(cr);
  cairo_move_to(cr, x, y + (height - logical.height) / 2);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  pango_font_description_free(font);
  g_object_unref(layout);
  return fmin(width, logical.width);
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

static DWTextPlacement PlacementOf(UILabel *label) {
  switch ([label textAlignment]) {
    case UITextAlignmentCenter: return DWTextCenter;
    case UITextAlignmentRight: return DWTextRight;
    default: return DWTextLeft;
  }
}

// A label's text as the host asks for it: its alignment, a size from its height, fitted or ellipsized.
static void DrawLabel(cairo_t *cr, UILabel *label, DWRect frame) {
  if (!SetSource(cr, [label textColor])) return;
  double height = (double)frame.height;
  DWDrawTextLine(cr, [label text], 2, 0, (double)frame.width - 4, height, fmin(15, fmax(7, height * 0.7)), 8, NO,
                 PlacementOf(label));
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
  if (!SetSource(cr, tint)) return;
  DWDrawTextLine(cr, @"9:41", 8, 0, 60, (double)frame.height, 12, 8, YES, DWTextLeft);
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

// An outline to stroke once the whole screen is drawn, in strip coordinates.
@interface DWOutline : NSObject {
 @public
  double x, y, width, height;
  DWPainter painter;
}
@end
@implementation DWOutline
@end

static void DrawView(cairo_t *cr, UIView *view, NSString *screen, NSString *path, NSDictionary *painters,
                     NSMutableArray *outlines, NSMutableArray *regions) {
  if ([view isHidden]) return;  // nor its subviews
  DWRect frame = [view frame];
  cairo_save(cr);
  cairo_translate(cr, (double)frame.x, (double)frame.y);
  if (SetSource(cr, [view backgroundColor])) {
    cairo_rectangle(cr, 0, 0, (double)frame.width, (double)frame.height);
    cairo_fill(cr);
    if (regions != nil) {
      double x = 0, y = 0;
      cairo_user_to_device(cr, &x, &y);
      [regions addObject:[NSDictionary dictionaryWithObjectsAndKeys:screen, @"screen", path, @"path",
                                       NSStringFromClass([view class]), @"class", DWColorText([view backgroundColor]),
                                       @"color", [NSNumber numberWithDouble:x], @"x", [NSNumber numberWithDouble:y],
                                       @"y", [NSNumber numberWithDouble:(double)frame.width], @"width",
                                       [NSNumber numberWithDouble:(double)frame.height], @"height", nil]];
    }
    NSNumber *painter = [painters objectForKey:DWViewKey(screen, path)];
    if (painter != nil) {
      DWOutline *outline = [[[DWOutline alloc] init] autorelease];
      double x = 0, y = 0;
      cairo_user_to_device(cr, &x, &y);
      outline->x = x;
      outline->y = y;
      outline->width = (double)frame.width;
      outline->height = (double)frame.height;
      outline->painter = (DWPainter)[painter intValue];
      [outlines addObject:outline];
    }
  }
  if ([view isKindOfClass:[UILabel class]]) DrawLabel(cr, (UILabel *)view, frame);
  if ([view isKindOfClass:[SPTIconView class]]) DrawIcon(cr, (SPTIconView *)view, frame);
  if ([view isKindOfClass:[UIStatusBar class]]) DrawStatusBar(cr, (UIStatusBar *)view, frame);
  if ([view isKindOfClass:[UISlider class]]) DrawSlider(cr, (UISlider *)view, frame);
  NSUInteger index = 0;
  for (UIView *subview in [view subviews]) {
    DrawView(cr, subview, screen, [path stringByAppendingFormat:@"/%@", DWViewPathComponent(subview, index++)],
             painters, outlines, regions);
  }
  cairo_restore(cr);
}

// Outlines over the finished screen, the host's first so that the library's stay on top.
static void StrokeOutlines(cairo_t *cr, NSArray *outlines) {
  cairo_save(cr);
  cairo_identity_matrix(cr);
  for (int pass = 0; pass < 2; ++pass) {
    for (DWOutline *outline in outlines) {
      if ((outline->painter == DWPainterHost) != (pass == 0)) continue;
      DWSetOutlineStyle(cr, outline->painter);
      double inset = outline->painter == DWPainterHost ? 0.5 : 1;
      if (outline->width <= 2 * inset || outline->height <= 2 * inset) continue;
      cairo_rectangle(cr, outline->x + inset, outline->y + inset, outline->width - 2 * inset,
                      outline->height - 2 * inset);
      cairo_stroke(cr);
    }
  }
  cairo_restore(cr);
}

static BOOL InRange(double value) { return value >= 1 && value <= kLargestSide; }

cairo_surface_t *DWRenderScreenStrip(NSMutableArray *names, NSMutableArray *heights, int *width,
                                     NSDictionary *painters) {
  return DWRenderScreenStripMapped(names, heights, width, painters, nil);
}

cairo_surface_t *DWRenderScreenStripMapped(NSMutableArray *names, NSMutableArray *heights, int *width,
                                           NSDictionary *painters, NSMutableArray *regions) {
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
    NSMutableArray *outlines = [NSMutableArray array];
    cairo_save(cr);
    cairo_translate(cr, 0, y);
    FillChecker(cr, (double)frame.width, (double)frame.height);
    cairo_rectangle(cr, 0, 0, (double)frame.width, (double)frame.height);
    cairo_clip(cr);
    // The root sits at the screen's origin whatever its own frame origin says.
    cairo_translate(cr, -(double)frame.x, -(double)frame.y);
    DrawView(cr, [screen root], [screen name], DWViewPathComponent([screen root], 0), painters, outlines, regions);
    StrokeOutlines(cr, outlines);
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

// "DWRAW1\n", then width and height as 32-bit numbers, then the rows of 4-byte pixels, unpadded.
static const char kRawMagic[8] = "DWRAW1\n";

BOOL DWWriteRawSurface(cairo_surface_t *surface, NSString *path, NSString **error) {
  cairo_surface_flush(surface);
  uint32_t size[2] = {(uint32_t)cairo_image_surface_get_width(surface),
                      (uint32_t)cairo_image_surface_get_height(surface)};
  int stride = cairo_image_surface_get_stride(surface);
  const unsigned char *data = cairo_image_surface_get_data(surface);
  FILE *file = fopen([path fileSystemRepresentation], "wb");
  BOOL ok = file != NULL && fwrite(kRawMagic, sizeof kRawMagic, 1, file) == 1 && fwrite(size, sizeof size, 1, file) == 1;
  for (uint32_t row = 0; ok && row < size[1]; ++row) {
    ok = fwrite(data + (size_t)row * (size_t)stride, 4, size[0], file) == size[0];
  }
  if (file != NULL && fclose(file) != 0) ok = NO;
  if (!ok) *error = [NSString stringWithFormat:@"%@: cannot write the pixels (%s)", path, strerror(errno)];
  return ok;
}

cairo_surface_t *DWReadRawSurface(NSString *path, NSString **error) {
  FILE *file = fopen([path fileSystemRepresentation], "rb");
  char magic[sizeof kRawMagic];
  uint32_t size[2];
  if (file == NULL || fread(magic, sizeof magic, 1, file) != 1 || memcmp(magic, kRawMagic, sizeof magic) != 0 ||
      fread(size, sizeof size, 1, file) != 1 || !InRange(size[0]) || !InRange(size[1])) {
    *error = [NSString stringWithFormat:@"%@: not the pixels the renderer writes", path];
    if (file != NULL) fclose(file);
    return NULL;
  }
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, (int)size[0], (int)size[1]);
  unsigned char *data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  BOOL ok = data != NULL;
  for (uint32_t row = 0; ok && row < size[1]; ++row) ok = fread(data + (size_t)row * (size_t)stride, 4, size[0], file) == size[0];
  fclose(file);
  if (!ok) {
    cairo_surface_destroy(surface);
    *error = [NSString stringWithFormat:@"%@: the pixels end early", path];
    return NULL;
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

int DWRunRenderScreens(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments command:@"render-screens" flag:@"--without-library" value:@"--out"];
  if (options == nil) return 2;
  NSString *out = [options value:@"--out"];
  if (out == nil) {
    DWPrintError(@"render-screens: --out FILE is required");
    return 2;
  }
  if (!DWLaunchForCommand(options, ![options has:@"--without-library"])) return 2;
  int width = 0;
  cairo_surface_t *strip = DWRenderScreenStrip([NSMutableArray array], [NSMutableArray array], &width, nil);
  if (strip == NULL) return 1;
  NSString *error = nil;
  BOOL written = [[out pathExtension] isEqualToString:@"png"] ? DWWritePNG(strip, out, &error)
                                                              : DWWriteRawSurface(strip, out, &error);
  cairo_surface_destroy(strip);
  if (!written) {
    DWPrintError(@"render-screens: %@", error);
    return 1;
  }
  return 0;
}
