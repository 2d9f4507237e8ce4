// Drawing the host's screens with cairo, and text with Pango, as the preview shows them.
#pragma once

#import <Foundation/Foundation.h>

#include <cairo.h>

// Who set a view's final background, as preview --explain outlines it.
typedef enum { DWPainterHost, DWPainterTabs, DWPainterBackground, DWPainterFilter, DWPainterCount } DWPainter;
NSString *DWPainterName(DWPainter painter);  // "the host", "\"tabs\"", ...
// The outline of one kind, in the strip and in the legend.
void DWSetOutlineStyle(cairo_t *cr, DWPainter painter);

// A view's place in its screen, as inspect prints it ("UIView[0]/SPTTableView[2]"), prefixed with
// the screen's name: the key of the painters dictionary.
NSString *DWViewKey(NSString *screen, NSString *path);
NSString *DWViewPathComponent(id view, NSUInteger index);

// Every host screen laid out once, top-down, and drawn one below the other at 1 point = 1 pixel,
// transparent colours over a checkerboard. With `painters` (view key -> NSNumber of DWPainter),
// each view with a background is outlined by who painted it. Returns NULL (message printed) when
// the strip would be unreasonably large. `heights` receives one NSNumber per screen, `names` the
// screen names.
cairo_surface_t *DWRenderScreenStrip(NSMutableArray *names, NSMutableArray *heights, int *width,
                                     NSDictionary *painters);

// The same, also noting in `regions` (when not nil), in drawing order, every view whose background it
// fills: {"screen", "path", "class", "color" (DWColorText), "x", "y", "width", "height"} in strip pixels.
cairo_surface_t *DWRenderScreenStripMapped(NSMutableArray *names, NSMutableArray *heights, int *width,
                                           NSDictionary *painters, NSMutableArray *regions);

typedef enum { DWTextLeft, DWTextCenter, DWTextRight } DWTextPlacement;
// One line of text laid out by Pango in the box at (x, y) of `width` x `height`, centred
// vertically: shrunk down to `minimumSize` pixels when it does not fit, then ended with an
// ellipsis, never cut mid-letter. Uses the current source colour. Returns the width it took.
double DWDrawTextLine(cairo_t *cr, NSString *text, double x, double y, double width, double height, double size,
                      double minimumSize, BOOL bold, DWTextPlacement placement);

// Writes `surface` to `path` as PNG; NO with *error set on failure.
BOOL DWWritePNG(cairo_surface_t *surface, NSString *path, NSString **error);

// An ARGB32 image surface as raw pixels in a file (a small header, then the rows), and back: how
// the preview's child hands its half to the parent without encoding a PNG.
BOOL DWWriteRawSurface(cairo_surface_t *surface, NSString *path, NSString **error);
cairo_surface_t *DWReadRawSurface(NSString *path, NSString **error);
