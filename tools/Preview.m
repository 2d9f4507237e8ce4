// preview: every host screen without and with the library, side by side, in one PNG, SVG or PDF.
// The half without the library comes from a child process (render-screens), since this process
// loads the library and can never unload it.
#import "Commands.h"
#import "Render.h"

#import "Explain.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <errno.h>
#include <pango/pangocairo.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

typedef enum { kFormatPNG, kFormatSVG, kFormatPDF } DWImageFormat;

static BOOL FormatForPath(NSString *path, DWImageFormat *format) {
  NSString *extension = [[path pathExtension] lowercaseString];
  if ([extension isEqualToString:@"png"]) *format = kFormatPNG;
  else if ([extension isEqualToString:@"svg"]) *format = kFormatSVG;
  else if ([extension isEqualToString:@"pdf"]) *format = kFormatPDF;
  else return NO;
  return YES;
}

// A fresh empty file beside `path`, so the final rename stays on one file system.
static NSString *TemporaryBeside(NSString *path, NSString **error) {
  NSString *directory = [path stringByDeletingLastPathComponent];
  if ([directory length] == 0) directory = @".";
  NSString *pattern = [directory stringByAppendingPathComponent:
                                     [NSString stringWithFormat:@".%@.XXXXXX", [path lastPathComponent]]];
  char *buffer = strdup([pattern fileSystemRepresentation]);
  int fd = mkstemp(buffer);
  if (fd < 0) {
    *error = [NSString stringWithFormat:@"%@: cannot write in %@ (%s)", path, directory, strerror(errno)];
    free(buffer);
    return nil;
  }
  // mkstemp makes the file private; the image should get the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  NSString *result = [[NSFileManager defaultManager] stringWithFileSystemRepresentation:buffer length:strlen(buffer)];
  free(buffer);
  return result;
}

// Runs this executable with `arguments`; its standard output, or nil (message printed) when it fails.
static NSData *RunSelf(NSArray *arguments, NSString *what, BOOL acceptWarnings) {
  NSUInteger count = [arguments count];
  const char **argv = calloc(count + 2, sizeof *argv);
  argv[0] = "duskwell-sim";
  for (NSUInteger i = 0; i < count; ++i) argv[i + 1] = [[arguments objectAtIndex:i] fileSystemRepresentation];
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    free(argv);
    DWPrintError(@"preview: cannot run %@ (%s)", what, strerror(errno));
    return nil;
  }
  fflush(stdout);
  fflush(stderr);
  pid_t child = fork();
  if (child < 0) {
    DWPrintError(@"preview: cannot run %@ (%s)", what, strerror(errno));
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    free(argv);
    return nil;
  }
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    execv("/proc/self/exe", (char *const *)argv);
    fprintf(stderr, "duskwell-sim: preview: cannot run /proc/self/exe (%s)\n", strerror(errno));
    _exit(127);
  }
  free(argv);
  close(pipeEnds[1]);
  NSMutableData *output = [NSMutableData data];
  char buffer[65536];
  for (;;) {
    ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
    if (got > 0) [output appendBytes:buffer length:(NSUInteger)got];
    else if (got == 0 || errno != EINTR) break;
  }
  close(pipeEnds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return nil;
  }
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code != 0 && !(acceptWarnings && code == 1)) {
    DWPrintError(@"preview: %@ failed", what);
    return nil;
  }
  return output;
}

// The half without the library, as raw pixels in `stripPath`.
static BOOL RenderWithoutLibrary(NSString *deviceRoot, NSString *stripPath) {
  return RunSelf([NSArray arrayWithObjects:@"render-screens", @"--without-library", @"--device-root", deviceRoot,
                                           @"--out", stripPath, nil],
                 @"rendering the screens without the library", NO) != nil;
}

// The doctor's reading of the theme, for the header.
static NSDictionary *DoctorReading(NSString *deviceRoot) {
  NSData *output = RunSelf([NSArray arrayWithObjects:@"doctor", @"--json", @"--device-root", deviceRoot, nil],
                           @"the doctor's reading of the theme", YES);
  id document = output ? [NSJSONSerialization JSONObjectWithData:output options:0 error:NULL] : nil;
  return [document isKindOfClass:[NSDictionary class]] ? document : nil;
}

static const double kMargin = 24, kGap = 32, kCaption = 30;
static const double kTextDark[3] = {0.1, 0.1, 0.1}, kTextGrey[3] = {0.38, 0.38, 0.38};

static void Ink(cairo_t *cr, const double rgb[3]) { cairo_set_source_rgb(cr, rgb[0], rgb[1], rgb[2]); }

// Text at (x, y), one line `height` high; returns where the next piece starts.
static double Text(cairo_t *cr, NSString *text, double x, double y, double height, double size, BOOL bold,
                   const double rgb[3]) {
  Ink(cr, rgb);
  return x + DWDrawTextLine(cr, text, x, y, 2000, height, size, size, bold, DWTextLeft);
}

// Wrapped text in a column `width` wide; returns its height.
static double Paragraph(cairo_t *cr, NSString *text, double x, double y, double width, double size,
                        const double rgb[3]) {
  PangoLayout *layout = pango_cairo_create_layout(cr);
  PangoFontDescription *font = pango_font_description_from_string("DejaVu Sans");
  pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_width(layout, (int)(width * PANGO_SCALE));
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_text(layout, [text UTF8String], -1);
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, NULL, &logical);
  Ink(cr, rgb);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(font);
  g_object_unref(layout);
  return logical.height;
}

// "#RRGGBBAA" as the doctor writes colours.
static BOOL ParseHex(NSString *hex, double rgba[4]) {
  if (![hex isKindOfClass:[NSString class]] || [hex length] != 9 || ![hex hasPrefix:@"#"]) return NO;
  unsigned value = 0;
  if (sscanf([hex UTF8String] + 1, "%8x", &value) != 1) return NO;
  for (int i = 0; i < 4; ++i) rgba[i] = ((value >> (24 - 8 * i)) & 0xFF) / 255.0;
  return YES;
}

// A swatch: the colour over a small checkerboard (so alpha shows), framed.
static void Swatch(cairo_t *cr, double x, double y, double side, NSString *hex) {
  double rgba[4];
  cairo_save(cr);
  cairo_rectangle(cr, x, y, side, side);
  cairo_clip(cr);
  cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
  for (int i = 0; i < 2; ++i) cairo_rectangle(cr, x + i * side / 2, y + i * side / 2, side / 2, side / 2);
  cairo_fill(cr);
  if (ParseHex(hex, rgba)) {
    cairo_set_source_rgba(cr, rgba[0], rgba[1], rgba[2], rgba[3]);
    cairo_paint(cr);
  }
  cairo_restore(cr);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, x + 0.5, y + 0.5, side - 1, side - 1);
  cairo_stroke(cr);
}

static NSString *ShortHex(NSString *hex) {
  // "#0A0A0AFF" reads as "#0A0A0A"; a colour with alpha keeps it.
  if ([hex isKindOfClass:[NSString class]] && [hex length] == 9 && [hex hasSuffix:@"FF"]) return [hex substringToIndex:7];
  return [hex isKindOfClass:[NSString class]] ? hex : @"?";
}

static NSString *PaletteChoice(NSDictionary *palette) {
  NSArray *keys = [palette objectForKey:@"setKeys"];
  if (![keys isKindOfClass:[NSArray class]] || [keys count] == 0) return @"none set: the host's own";
  return [keys componentsJoinedByString:@"+"];
}

static double HeaderHeight(BOOL explain) { return 34 + 32 + (explain ? 28 : 0) + 12; }

// The header: what theme this is and what the library makes of it.
static void DrawHeader(cairo_t *cr, NSDictionary *doctor, NSString *root, BOOL explain, double width) {
  double x = kMargin, y = kMargin;
  x = Text(cr, @"duskwell preview", x, y, 30, 22, YES, kTextDark);
  x = Text(cr, [NSString stringWithFormat:@"   device root %@", root], x, y + 4, 26, 14, NO, kTextGrey);
  NSArray *warnings = [doctor objectForKey:@"warnings"];
  NSUInteger warningCount = [warnings isKindOfClass:[NSArray class]] ? [warnings count] : 0;
  NSString *verdict = doctor == nil ? @"doctor: no reading"
                      : warningCount == 0
                          ? @"doctor: no problems found"
                          : [NSString stringWithFormat:@"doctor: %lu warning%@ (listed under Status Bar)",
                                                       (unsigned long)warningCount, warningCount == 1 ? @"" : @"s"];
  static const double kGood[3] = {0.1, 0.5, 0.2}, kBad[3] = {0.75, 0.35, 0.0};
  Text(cr, verdict, fmax(x + 40, width - kMargin - 520), y + 4, 26, 15, YES, warningCount == 0 ? kGood : kBad);

  y += 34;
  x = kMargin;
  NSDictionary *switchState = [doctor objectForKey:@"switch"];
  BOOL on = [[switchState objectForKey:@"on"] boolValue];
  x = Text(cr, @"\"custom1\" ", x, y, 26, 15, YES, kTextDark);
  x = Text(cr, on ? @"on" : @"off", x, y, 26, 15, YES, on ? kGood : kBad);
  x += 28;
  NSDictionary *colors = [doctor objectForKey:@"colors"];
  for (NSString *key in [NSArray arrayWithObjects:@"tabs", @"background", @"text2", nil]) {
    NSDictionary *color = [colors objectForKey:key];
    x = Text(cr, [NSString stringWithFormat:@"\"%@\"", key], x, y, 26, 15, YES, kTextDark) + 6;
    Swatch(cr, x, y + 3, 20, [color objectForKey:@"color"]);
    x = Text(cr, [NSString stringWithFormat:@" %@", ShortHex([color objectForKey:@"color"])], x + 20, y, 26, 15, NO,
             kTextDark);
    BOOL fromFile = [[color objectForKey:@"source"] isEqual:@"file"];
    x = Text(cr, fromFile ? @" from the file" : @" fallback (key not usable)", x, y + 1, 26, 13, NO, kTextGrey) + 28;
  }
  NSDictionary *palettes = [doctor objectForKey:@"palettes"];
  NSArray *roles = [NSArray arrayWithObjects:@"icon", @"text", @"status", nil];
  NSArray *titles = [NSArray arrayWithObjects:@"icons", @"label text", @"status bar", nil];
  for (NSUInteger i = 0; i < [roles count]; ++i) {
    NSDictionary *palette = [palettes objectForKey:[roles objectAtIndex:i]];
    x = Text(cr, [titles objectAtIndex:i], x, y, 26, 15, YES, kTextDark) + 6;
    NSString *hex = [palette objectForKey:@"setterColor"];
    if ([hex isKindOfClass:[NSString class]]) {
      Swatch(cr, x, y + 3, 20, hex);
      x += 24;
    }
    x = Text(cr, PaletteChoice(palette), x, y + 1, 26, 13, NO, kTextGrey) + 24;
  }

  if (!explain) return;
  y += 32;
  x = Text(cr, @"outlines: who set each view's final background", kMargin, y, 24, 14, YES, kTextDark) + 20;
  for (int painter = 0; painter < DWPainterCount; ++painter) {
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0.18, 0.18, 0.18);
    cairo_rectangle(cr, x, y + 3, 44, 18);
    cairo_fill(cr);
    DWSetOutlineStyle(cr, (DWPainter)painter);
    cairo_rectangle(cr, x + 1.5, y + 4.5, 41, 15);
    cairo_stroke(cr);
    cairo_restore(cr);
    NSString *meaning = painter == DWPainterTabs         ? @"a repaint with \"tabs\""
                        : painter == DWPainterBackground ? @"a repaint with \"background\""
                        : painter == DWPainterFilter     ? @"the filter: white or a stock grey exchanged for \"background\""
                                                         : @"the host's own colour, unchanged";
    x = Text(cr, meaning, x + 52, y, 24, 14, NO, kTextDark) + 28;
  }
}

// Below a short screen: the doctor's warnings and how the colours were found.
static void DrawNotes(cairo_t *cr, NSDictionary *doctor, double x, double y, double width, double height) {
  double bottom = y + height;
  NSArray *warnings = [doctor objectForKey:@"warnings"];
  y += Paragraph(cr, [warnings count] == 0 ? @"The doctor found no problems." : @"The doctor warns:", x, y, width, 20,
                 kTextDark) + 8;
  for (NSString *warning in warnings) {
    if (y > bottom - 40) break;
    y += Paragraph(cr, [@"• " stringByAppendingString:[warning description]], x, y, width, 16, kTextDark) + 6;
  }
  y += 18;
  NSDictionary *colors = [doctor objectForKey:@"colors"];
  NSMutableArray *lines = [NSMutableArray array];
  for (NSString *key in [NSArray arrayWithObjects:@"tabs", @"background", @"text2", nil]) {
    NSDictionary *color = [colors objectForKey:key];
    id reason = [color objectForKey:@"reason"];
    [lines addObject:[[color objectForKey:@"source"] isEqual:@"file"]
                         ? [NSString stringWithFormat:@"\"%@\" %@ comes from the theme's main file.", key,
                                                      ShortHex([color objectForKey:@"color"])]
                         : [NSString stringWithFormat:@"\"%@\" is the fallback %@: %@.", key,
                                                      ShortHex([color objectForKey:@"color"]),
                                                      [reason isKindOfClass:[NSString class]] ? reason : @"no value"]];
  }
  NSDictionary *palettes = [doctor objectForKey:@"palettes"];
  NSArray *roles = [NSArray arrayWithObjects:@"icon", @"text", @"status", nil];
  NSArray *uses = [NSArray arrayWithObjects:@"icons and the now-playing slider", @"label styles and labels' colour setters",
                                            @"the status bar", nil];
  for (NSUInteger i = 0; i < [roles count]; ++i) {
    NSDictionary *palette = [palettes objectForKey:[roles objectAtIndex:i]];
    id first = [palette objectForKey:@"getterColorName"], last = [palette objectForKey:@"setterColorName"];
    NSString *line = ![first isKindOfClass:[NSString class]]
                         ? [NSString stringWithFormat:@"No %@ palette key is set: %@ keep the host's own colours.",
                                                      [roles objectAtIndex:i], [uses objectAtIndex:i]]
                         : [NSString stringWithFormat:@"The %@ palette (%@) gives %@ %@%@.", [roles objectAtIndex:i],
                                                      PaletteChoice(palette), [uses objectAtIndex:i], first,
                                                      [last isEqual:first] ? @""
                                                                           : [NSString stringWithFormat:@"; labels end %@", last]];
    [lines addObject:line];
  }
  [lines addObject:@"Palettes act whether \"custom1\" is on or off; the getters take the first set key in the order "
                   @"white, gray, lightgray, then the rest alphabetically; labels' colour setters end on the last."];
  [lines addObject:[NSString stringWithFormat:@"Explain who painted what: duskwell-sim preview --explain. "
                                              @"All the details: duskwell-sim doctor."]];
  for (NSString *line in lines) {
    if (y > bottom - 30) break;
    y += Paragraph(cr, line, x, y, width, 15, kTextGrey) + 8;
  }
}

static void PlaceScreen(cairo_t *cr, cairo_surface_t *strip, double x, double y, double stripY, int width,
                        double height) {
  cairo_save(cr);
  cairo_rectangle(cr, x, y, width, height);
  cairo_clip(cr);
  cairo_set_source_surface(cr, strip, x, y - stripY);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, x - 0.5, y - 0.5, width + 1, height + 1);
  cairo_stroke(cr);
}

// Screens sit in a grid, each as a pair (without, with), so the whole picture fits a laptop screen.
static const NSUInteger kPairsPerRow = 3;

static double RowHeight(NSArray *heights, NSUInteger firstScreen) {
  double tallest = 0;
  for (NSUInteger i = firstScreen; i < [heights count] && i < firstScreen + kPairsPerRow; ++i) {
    tallest = MAX(tallest, [[heights objectAtIndex:i] doubleValue]);
  }
  return kCaption + tallest + kMargin;
}

static double PairWidth(int width) { return 2 * width + kGap; }

typedef struct {
  cairo_surface_t *without, *with;
  NSArray *names, *heights;
  int width;
  NSDictionary *doctor;
  NSString *root;
  BOOL explain;
} DWPicture;

static void Compose(cairo_t *cr, const DWPicture *picture, double totalWidth) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  DrawHeader(cr, picture->doctor, picture->root, picture->explain, totalWidth);
  NSArray *names = picture->names, *heights = picture->heights;
  int width = picture->width;
  double rowY = kMargin + HeaderHeight(picture->explain), stripY = 0;
  for (NSUInteger i = 0; i < [names count]; ++i) {
    NSUInteger column = i % kPairsPerRow;
    if (column == 0 && i > 0) rowY += RowHeight(heights, i - kPairsPerRow);
    double height = [[heights objectAtIndex:i] doubleValue];
    double left = kMargin + column * (PairWidth(width) + 2 * kMargin), right = left + width + kGap;
    double x = Text(cr, [names objectAtIndex:i], left, rowY, 24, 18, YES, kTextDark);
    Text(cr, @"  without duskwell", x, rowY + 2, 22, 13, NO, kTextGrey);
    Text(cr, @"with duskwell", right, rowY + 2, 22, 13, NO, kTextGrey);
    double y = rowY + kCaption;
    PlaceScreen(cr, picture->without, left, y, stripY, width, height);
    PlaceScreen(cr, picture->with, right, y, stripY, width, height);
    stripY += height;
    // A short screen leaves its cell to the notes.
    double room = RowHeight(heights, i - column) - kCaption - kMargin - height;
    if (room > 200) DrawNotes(cr, picture->doctor, left, y + height + 28, PairWidth(width), room - 28);
  }
}

static BOOL WriteComposite(NSString *temporary, DWImageFormat format, const DWPicture *picture, NSString **error) {
  double totalHeight = kMargin + HeaderHeight(picture->explain);
  for (NSUInteger i = 0; i < [picture->heights count]; i += kPairsPerRow) totalHeight += RowHeight(picture->heights, i);
  NSUInteger columns = MIN([picture->heights count], kPairsPerRow);
  double totalWidth = kMargin + columns * (PairWidth(picture->width) + 2 * kMargin) - kMargin;
  cairo_surface_t *surface;
  const char *file = [temporary fileSystemRepresentation];
  if (format == kFormatSVG) surface = cairo_svg_surface_create(file, totalWidth, totalHeight);
  else if (format == kFormatPDF) surface = cairo_pdf_surface_create(file, totalWidth, totalHeight);
  else surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, (int)totalWidth, (int)totalHeight);
  cairo_t *cr = cairo_create(surface);
  Compose(cr, picture, totalWidth);
  cairo_destroy(cr);
  BOOL ok = YES;
  if (format == kFormatPNG) {
    ok = DWWritePNG(surface, temporary, error);
  } else {
    cairo_surface_finish(surface);
    cairo_status_t status = cairo_surface_status(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
      *error = [NSString stringWithFormat:@"%@: cannot write (%s)", temporary, cairo_status_to_string(status)];
      ok = NO;
    }
  }
  cairo_surface_destroy(surface);
  return ok;
}

// The outlines in numbers: how many views each painter had the last word on.
static void PrintPainterCounts(NSDictionary *painters) {
  NSUInteger counts[DWPainterCount] = {0};
  for (NSNumber *painter in [painters allValues]) {
    if ([painter intValue] >= 0 && [painter intValue] < DWPainterCount) counts[[painter intValue]]++;
  }
  NSMutableArray *parts = [NSMutableArray array];
  for (int painter = 0; painter < DWPainterCount; ++painter) {
    [parts addObject:[NSString stringWithFormat:@"%@ %lu", DWPainterName((DWPainter)painter),
                                                (unsigned long)counts[painter]]];
  }
  DWPrint(@"final backgrounds set by: %@\n", [parts componentsJoinedByString:@", "]);
}

int DWRunPreview(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments command:@"preview" flag:@"--explain" value:@"--out"];
  if (options == nil) return 2;
  NSString *out = [options value:@"--out"];
  NSFileManager *files = [NSFileManager defaultManager];
  BOOL defaultOut = out == nil;
  if (defaultOut) out = @"out/preview.png";
  DWImageFormat format;
  if (!FormatForPath(out, &format)) {
    DWPrintError(@"preview: %@: unknown image type '%@' (use .png, .svg or .pdf)", out, [out pathExtension]);
    return 2;
  }
  BOOL isDirectory = NO;
  if ([files fileExistsAtPath:out isDirectory:&isDirectory] && isDirectory) {
    DWPrintError(@"preview: %@ is a directory", out);
    return 2;
  }
  NSString *root = DWDeviceRootOf(options);
  if (!DWCheckDeviceRoot(@"preview", root)) return 2;
  DWWarnIfNoThemeFiles(@"preview", root);
  // The default place is created on demand; a directory the user names must already exist.
  if (defaultOut && ![files fileExistsAtPath:@"out"] &&
      ![files createDirectoryAtPath:@"out" withIntermediateDirectories:YES attributes:nil error:NULL]) {
    DWPrintError(@"preview: cannot create the directory out/ for %@", out);
    return 1;
  }
  NSString *error = nil;
  NSString *temporary = TemporaryBeside(out, &error);
  if (temporary == nil) {
    DWPrintError(@"preview: %@", error);
    return 1;
  }
  NSString *stripPath = TemporaryBeside(temporary, &error);  // beside it, cleaned up with it
  int status = 1;
  DWPicture picture = {NULL, NULL, nil, nil, 0, nil, root, [options has:@"--explain"]};
  NSDictionary *painters = nil;
  if (stripPath == nil) {
    DWPrintError(@"preview: %@", error);
  } else if (RenderWithoutLibrary(root, stripPath) && (picture.doctor = DoctorReading(root)) != nil &&
             DWLaunchForCommand(options, YES)) {
    picture.without = DWReadRawSurface(stripPath, &error);
    NSMutableArray *names = [NSMutableArray array], *heights = [NSMutableArray array];
    picture.names = names;
    picture.heights = heights;
    if (picture.without == NULL) {
      DWPrintError(@"preview: %@", error);
    } else if (picture.explain && (painters = DWExplainPainters(root, &error)) == nil) {
      DWPrintError(@"preview: --explain: %@", error);
    } else if ((picture.with = DWRenderScreenStrip(names, heights, &picture.width, painters)) != NULL) {
      if (WriteComposite(temporary, format, &picture, &error)) {
        if (rename([temporary fileSystemRepresentation], [out fileSystemRepresentation]) == 0) {
          DWPrint(@"preview written to %@\n", out);
          if (painters != nil) PrintPainterCounts(painters);
          status = 0;
        } else {
          DWPrintError(@"preview: %@: cannot replace (%s)", out, strerror(errno));
        }
      } else {
        DWPrintError(@"preview: %@", error);
      }
    }
  }
  if (picture.without != NULL) cairo_surface_destroy(picture.without);
  if (picture.with != NULL) cairo_surface_destroy(picture.with);
  if (stripPath != nil) unlink([stripPath fileSystemRepresentation]);
  if (status != 0) unlink([temporary fileSystemRepresentation]);
  return status;
}
