// preview: every host screen without and with the library, side by side, in one PNG, SVG or PDF.
// The half without the library comes from a child process (render-screens), since this process
// loads the library and can never unload it.
#import "Commands.h"
#import "Render.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static const double kMargin = 24, kGap = 32, kHeading = 34, kCaption = 24;

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

// Runs this executable's render-screens without the library; the strip lands in `stripPath`.
static BOOL RenderWithoutLibrary(NSString *deviceRoot, NSString *stripPath) {
  const char *argv[] = {"duskwell-sim", "render-screens", "--without-library", "--device-root",
                        [deviceRoot fileSystemRepresentation], "--out", [stripPath fileSystemRepresentation], NULL};
  fflush(stdout);
  fflush(stderr);
  pid_t child = fork();
  if (child < 0) {
    DWPrintError(@"preview: cannot start the renderer without the library (%s)", strerror(errno));
    return NO;
  }
  if (child == 0) {
    execv("/proc/self/exe", (char *const *)argv);
    fprintf(stderr, "duskwell-sim: preview: cannot run /proc/self/exe (%s)\n", strerror(errno));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return NO;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    DWPrintError(@"preview: rendering the screens without the library failed");
    return NO;
  }
  return YES;
}

static void Caption(cairo_t *cr, double x, double y, double size, BOOL bold, NSString *text) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, [text UTF8String]);
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
  return kHeading + kCaption + tallest + kMargin;
}

static double PairWidth(int width) { return 2 * width + kGap; }

static void Compose(cairo_t *cr, cairo_surface_t *without, cairo_surface_t *with, NSArray *names, NSArray *heights,
                    int width) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  double rowY = kMargin, stripY = 0;
  for (NSUInteger i = 0; i < [names count]; ++i) {
    NSUInteger column = i % kPairsPerRow;
    if (column == 0 && i > 0) rowY += RowHeight(heights, i - kPairsPerRow);
    NSString *name = [names objectAtIndex:i];
    double height = [[heights objectAtIndex:i] doubleValue];
    double left = kMargin + column * (PairWidth(width) + 2 * kMargin), right = left + width + kGap;
    double y = rowY;
    Caption(cr, left, y + 24, 22, YES, name);
    y += kHeading;
    Caption(cr, left, y + 16, 14, NO, @"without duskwell");
    Caption(cr, right, y + 16, 14, NO, @"with duskwell");
    y += kCaption;
    PlaceScreen(cr, without, left, y, stripY, width, height);
    PlaceScreen(cr, with, right, y, stripY, width, height);
    stripY += height;
  }
}

static BOOL WriteComposite(NSString *temporary, DWImageFormat format, cairo_surface_t *without,
                           cairo_surface_t *with, NSArray *names, NSArray *heights, int width, NSString **error) {
  double totalHeight = kMargin;
  for (NSUInteger i = 0; i < [heights count]; i += kPairsPerRow) totalHeight += RowHeight(heights, i);
  NSUInteger columns = MIN([heights count], kPairsPerRow);
  double totalWidth = kMargin + columns * (PairWidth(width) + 2 * kMargin) - kMargin;
  cairo_surface_t *surface;
  const char *file = [temporary fileSystemRepresentation];
  if (format == kFormatSVG) surface = cairo_svg_surface_create(file, totalWidth, totalHeight);
  else if (format == kFormatPDF) surface = cairo_pdf_surface_create(file, totalWidth, totalHeight);
  else surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, (int)totalWidth, (int)totalHeight);
  cairo_t *cr = cairo_create(surface);
  Compose(cr, without, with, names, heights, width);
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

int DWRunPreview(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments
                                command:@"preview"
                                  flags:nil
                                 values:[NSArray arrayWithObject:@"--out"]];
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
  cairo_surface_t *without = NULL, *with = NULL;
  if (stripPath == nil) {
    DWPrintError(@"preview: %@", error);
  } else if (RenderWithoutLibrary(root, stripPath) && DWLaunchForCommand(options, YES)) {
    without = cairo_image_surface_create_from_png([stripPath fileSystemRepresentation]);
    NSMutableArray *names = [NSMutableArray array], *heights = [NSMutableArray array];
    int width = 0;
    if (cairo_surface_status(without) != CAIRO_STATUS_SUCCESS) {
      DWPrintError(@"preview: %@: cannot read the screens rendered without the library", stripPath);
    } else if ((with = DWRenderScreenStrip(names, heights, &width)) != NULL) {
      if (WriteComposite(temporary, format, without, with, names, heights, width, &error)) {
        if (rename([temporary fileSystemRepresentation], [out fileSystemRepresentation]) == 0) {
          DWPrint(@"preview written to %@\n", out);
          status = 0;
        } else {
          DWPrintError(@"preview: %@: cannot replace (%s)", out, strerror(errno));
        }
      } else {
        DWPrintError(@"preview: %@", error);
      }
    }
  }
  if (without != NULL) cairo_surface_destroy(without);
  if (with != NULL) cairo_surface_destroy(with);
  if (stripPath != nil) unlink([stripPath fileSystemRepresentation]);
  if (status != 0) unlink([temporary fileSystemRepresentation]);
  return status;
}
