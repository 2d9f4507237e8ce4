#import "EditorScreens.h"

#import "Commands.h"
#import "Explain.h"
#import "Render.h"

#include <errno.h>
#include <png.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// A child of this executable with its standard output on a pipe.
typedef struct {
  pid_t pid;
  int output;
} DWChild;

static BOOL StartSelf(NSArray *arguments, DWChild *child) {
  NSUInteger count = [arguments count];
  const char **argv = calloc(count + 2, sizeof *argv);
  argv[0] = "duskwell-sim";
  for (NSUInteger i = 0; i < count; ++i) argv[i + 1] = [[arguments objectAtIndex:i] fileSystemRepresentation];
  int ends[2];
  if (pipe(ends) != 0) {
    free(argv);
    return NO;
  }
  // Neither end may leak into the children of another drawing.
  fcntl(ends[0], F_SETFD, FD_CLOEXEC);
  fcntl(ends[1], F_SETFD, FD_CLOEXEC);
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(ends[1], STDOUT_FILENO);
    execv("/proc/self/exe", (char *const *)argv);
    _exit(127);
  }
  free(argv);
  close(ends[1]);
  if (pid < 0) {
    close(ends[0]);
    return NO;
  }
  child->pid = pid;
  child->output = ends[0];
  return YES;
}

// Its whole output and exit status (-1 when it did not exit).
static NSData *FinishChild(DWChild *child, int *code) {
  NSMutableData *output = [NSMutableData data];
  char buffer[65536];
  for (;;) {
    ssize_t got = read(child->output, buffer, sizeof buffer);
    if (got > 0) [output appendBytes:buffer length:(NSUInteger)got];
    else if (got == 0 || errno != EINTR) break;
  }
  close(child->output);
  int status = 0;
  while (waitpid(child->pid, &status, 0) < 0 && errno == EINTR) {
  }
  *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

static void AppendToData(png_structp png, png_bytep bytes, size_t length) {
  [(NSMutableData *)png_get_io_ptr(png) appendBytes:bytes length:length];
}

static void NoFlush(png_structp png) { (void)png; }

// A PNG of the surface's pixels made for speed, not size: the page fetches it over loopback at once,
// and cairo's own writer compresses harder than a redraw can wait for. Colours are un-premultiplied
// as cairo's writer does.
static NSData *PNGOf(cairo_surface_t *surface) {
  cairo_surface_flush(surface);
  int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
  int stride = cairo_image_surface_get_stride(surface);
  const unsigned char *pixels = cairo_image_surface_get_data(surface);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
  png_infop info = png ? png_create_info_struct(png) : NULL;
  NSMutableData *data = [NSMutableData data];
  unsigned char *row = malloc((size_t)width * 4);
  if (png == NULL || info == NULL || row == NULL || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    free(row);
    return nil;
  }
  png_set_write_fn(png, data, AppendToData, NoFlush);
  png_set_compression_level(png, 1);
  png_set_filter(png, 0, PNG_FILTER_SUB);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const uint32_t *source = (const uint32_t *)(const void *)(pixels + (size_t)y * (size_t)stride);
    for (int x = 0; x < width; ++x) {
      uint32_t argb = source[x];
      unsigned alpha = argb >> 24;
      unsigned char *out = row + 4 * x;
      for (int c = 0; c < 3; ++c) {
        unsigned premultiplied = (argb >> (16 - 8 * c)) & 0xFF;
        out[c] = (unsigned char)(alpha == 0 ? 0 : alpha == 255 ? premultiplied : (premultiplied * 255 + alpha / 2) / alpha);
      }
      out[3] = (unsigned char)alpha;
    }
    png_write_row(png, row);
  }
  png_write_end(png, NULL);
  png_destroy_write_struct(&png, &info);
  free(row);
  return data;
}

// The rows of one screen of the strip, as their own surface.
static cairo_surface_t *ScreenOf(cairo_surface_t *strip, int top, int width, int height) {
  cairo_surface_t *screen = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t *cr = cairo_create(screen);
  cairo_set_source_surface(cr, strip, 0, -top);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(screen);
  return screen;
}

static NSData *PixelsOf(cairo_surface_t *surface) {
  return [NSData dataWithBytes:cairo_image_surface_get_data(surface)
                        length:(NSUInteger)cairo_image_surface_get_stride(surface) *
                               (NSUInteger)cairo_image_surface_get_height(surface)];
}

// FNV-1a, as the name of a picture's version.
static NSString *VersionOf(NSData *data) {
  uint64_t hash = 1469598103934665603ULL;
  const unsigned char *bytes = [data bytes];
  for (NSUInteger i = 0; i < [data length]; ++i) hash = (hash ^ bytes[i]) * 1099511628211ULL;
  return [NSString stringWithFormat:@"%016llx", (unsigned long long)hash];
}

static double Now(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec * 1000.0 + (double)now.tv_nsec / 1e6;
}

@interface DWEditorScreens (Drawing)
- (void)takeStrip:(cairo_surface_t *)strip
            names:(NSArray *)stripNames
          heights:(NSArray *)heights
            width:(int)width
          regions:(NSArray *)found;
@end

@implementation DWEditorScreens

- (id)initWithRoot:(NSString *)deviceRoot error:(NSString **)error {
  if (!(self = [super init])) return nil;
  root = [deviceRoot copy];
  names = [[NSMutableArray alloc] init];
  sizes = [[NSMutableArray alloc] init];
  without = [[NSMutableArray alloc] init];
  with = [[NSMutableArray alloc] init];
  withPixels = [[NSMutableArray alloc] init];
  withVersions = [[NSMutableArray alloc] init];
  withoutVersions = [[NSMutableArray alloc] init];
  regions = [[NSMutableArray alloc] init];
  char pattern[] = "/tmp/duskwell-serve.XXXXXX";
  int fd = mkstemp(pattern);
  if (fd < 0) {
    *error = @"cannot make a temporary file for the screens without the library";
    [self release];
    return nil;
  }
  close(fd);
  NSString *rawPath = [NSString stringWithUTF8String:pattern];
  DWChild child;
  int code = -1;
  if (StartSelf([NSArray arrayWithObjects:@"render-screens", @"--without-library", @"--device-root", root, @"--out",
                                          rawPath, nil],
                &child)) {
    FinishChild(&child, &code);
  }
  cairo_surface_t *strip = code == 0 ? DWReadRawSurface(rawPath, error) : NULL;
  unlink(pattern);
  if (strip == NULL) {
    if (code != 0) *error = @"drawing the screens without the library failed";
    [self release];
    return nil;
  }
  // The screens' sizes are the host's own, with or without the library: the first drawing with it says them.
  if (![self redraw:error]) {
    cairo_surface_destroy(strip);
    [self release];
    return nil;
  }
  int top = 0;
  for (NSDictionary *size in sizes) {
    int width = [[size objectForKey:@"width"] intValue], height = [[size objectForKey:@"height"] intValue];
    cairo_surface_t *screen = ScreenOf(strip, top, width, height);
    NSData *png = PNGOf(screen);
    cairo_surface_destroy(screen);
    [without addObject:png ? png : [NSData data]];
    [withoutVersions addObject:VersionOf(png)];
    top += height;
  }
  cairo_surface_destroy(strip);
  return self;
}

- (void)dealloc {
  [root release];
  [names release];
  [sizes release];
  [without release];
  [with release];
  [withPixels release];
  [withVersions release];
  [withoutVersions release];
  [regions release];
  [doctor release];
  [painters release];
  [super dealloc];
}

- (BOOL)redraw:(NSString **)error {
  double start = Now();
  DWChild child;
  BOOL doctorRuns = StartSelf([NSArray arrayWithObjects:@"doctor", @"--json", @"--device-root", root, nil], &child);
  NSMutableArray *stripNames = [NSMutableArray array], *heights = [NSMutableArray array];
  NSMutableArray *found = [NSMutableArray array];
  int width = 0;
  cairo_surface_t *strip = DWRenderScreenStripMapped(stripNames, heights, &width, nil, found);
  if (strip == NULL) {
    *error = @"the screens with the library cannot be drawn";
  } else {
    [self takeStrip:strip names:stripNames heights:heights width:width regions:found];
    cairo_surface_destroy(strip);
  }
  [painters release];
  painters = nil;
  attributionFailed = NO;
  if (doctorRuns) {
    int code = -1;
    NSData *output = FinishChild(&child, &code);
    id document = code >= 0 && code <= 2 ? [NSJSONSerialization JSONObjectWithData:output options:0 error:NULL] : nil;
    [doctor release];
    doctor = [document isKindOfClass:[NSDictionary class]] ? [document retain] : nil;
  }
  lastMilliseconds = Now() - start;
  return strip != NULL;
}

- (BOOL)needsAttribution {
  return painters == nil && !attributionFailed && [regions count] > 0;
}

- (BOOL)attribute:(NSString **)error {
  NSDictionary *found = DWExplainPainters(root, error);
  // A failure is not tried again before the next drawing: each try is two passes over every screen.
  attributionFailed = found == nil;
  if (found == nil) return NO;
  painters = [found retain];
  return YES;
}

- (NSArray *)regionsOfScreen:(NSUInteger)index {
  NSString *name = [names objectAtIndex:index];
  NSMutableArray *shown = [NSMutableArray array];
  for (NSDictionary *region in [regions objectAtIndex:index]) {
    NSMutableDictionary *copy = [NSMutableDictionary dictionaryWithDictionary:region];
    NSNumber *painter = [painters objectForKey:DWViewKey(name, [region objectForKey:@"path"])];
    // A view with a background whose setter the library never saw kept the host's colour.
    [copy setObject:painters == nil ? (id)[NSNull null]
                                    : DWPainterName(painter != nil ? (DWPainter)[painter intValue] : DWPainterHost)
             forKey:@"painter"];
    [shown addObject:copy];
  }
  return shown;
}

- (void)takeStrip:(cairo_surface_t *)strip
            names:(NSArray *)stripNames
          heights:(NSArray *)heights
            width:(int)width
          regions:(NSArray *)found {
  BOOL first = [with count] == 0;
  if (first) [names setArray:stripNames];
  [regions removeAllObjects];
  redrawnScreens = 0;
  int top = 0;
  for (NSUInteger i = 0; i < [stripNames count]; ++i) {
    int height = [[heights objectAtIndex:i] intValue];
    if (first) {
      [sizes addObject:[NSDictionary dictionaryWithObjectsAndKeys:[NSNumber numberWithInt:width], @"width",
                                                                  [NSNumber numberWithInt:height], @"height", nil]];
    }
    cairo_surface_t *screen = ScreenOf(strip, top, width, height);
    NSData *pixels = PixelsOf(screen);
    if (first || ![[withPixels objectAtIndex:i] isEqualToData:pixels]) {
      NSData *png = PNGOf(screen);
      if (png == nil) png = [NSData data];
      if (first) {
        [with addObject:png];
        [withPixels addObject:pixels];
        [withVersions addObject:VersionOf(png)];
      } else {
        [with replaceObjectAtIndex:i withObject:png];
        [withPixels replaceObjectAtIndex:i withObject:pixels];
        [withVersions replaceObjectAtIndex:i withObject:VersionOf(png)];
      }
      ++redrawnScreens;
    }
    cairo_surface_destroy(screen);
    NSString *name = [stripNames objectAtIndex:i];
    NSMutableArray *own = [NSMutableArray array];
    for (NSDictionary *region in found) {
      if (![[region objectForKey:@"screen"] isEqual:name]) continue;
      NSMutableDictionary *placed = [NSMutableDictionary dictionaryWithDictionary:region];
      [placed removeObjectForKey:@"screen"];
      [placed setObject:[NSNumber numberWithDouble:[[region objectForKey:@"y"] doubleValue] - top] forKey:@"y"];
      [own addObject:placed];
    }
    [regions addObject:own];
    top += height;
  }
}

@end
