// Drawing the host's screens with cairo, as the preview shows them.
#pragma once

#import <Foundation/Foundation.h>

#include <cairo.h>

// Every host screen laid out once, top-down, and drawn one below the other at 1 point = 1 pixel,
// transparent colours over a checkerboard. Returns NULL (message printed) when the strip would be
// unreasonably large. `heights` receives one NSNumber per screen, `names` the screen names.
cairo_surface_t *DWRenderScreenStrip(NSMutableArray *names, NSMutableArray *heights, int *width);

// Writes `surface` to `path` as PNG; NO with *error set on failure.
BOOL DWWritePNG(cairo_surface_t *surface, NSString *path, NSString **error);
