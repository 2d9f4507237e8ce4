#import "EditorSession.h"

#import "EditorAssets.h"
#import "EditorPane.h"
#import "EditorScreens.h"
#import "PaneLayout.h"
#import "ThemeArchive.h"
#import "ThemeFiles.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

// How often the files are looked at for changes made by anything else.
static const NSTimeInterval kLookEvery = 0.1;
// How long the page must have sent no change before who painted what is worked out.
static const NSTimeInterval kQuietBeforeAttribution = 0.15;

static NSArray *ThemeDevicePaths(void) {
  NSMutableArray *paths = [NSMutableArray arrayWithObject:DWMainPrefsDevicePath];
  for (NSString *role in DWPaletteRoles()) [paths addObject:DWPaletteDevicePath(role)];
  return paths;
}

static void Reply(DWEditorReply *reply, int status, const char *type, NSData *body) {
  reply->status = status;
  reply->contentType = type;
  reply->bodyLength = [body length];
  reply->body = malloc(reply->bodyLength > 0 ? reply->bodyLength : 1);
  if (reply->body != NULL) memcpy(reply->body, [body bytes], reply->bodyLength);
  else reply->bodyLength = 0;
}

static void ReplyJSON(DWEditorReply *reply, int status, id document) {
  NSData *body = [NSJSONSerialization dataWithJSONObject:document options:0 error:NULL];
  Reply(reply, status, "application/json", body ? body : [@"{}" dataUsingEncoding:NSUTF8StringEncoding]);
}

static void ReplyError(DWEditorReply *reply, int status, NSString *message) {
  ReplyJSON(reply, status, [NSDictionary dictionaryWithObject:message forKey:@"error"]);
}

static NSDictionary *QueryOf(const DWEditorRequest *request) {
  NSMutableDictionary *query = [NSMutableDictionary dictionary];
  for (NSString *pair in [[NSString stringWithUTF8String:request->query] componentsSeparatedByString:@"&"]) {
    NSRange equals = [pair rangeOfString:@"="];
    if (equals.location == NSNotFound) continue;
    [query setObject:[pair substringFromIndex:NSMaxRange(equals)] forKey:[pair substringToIndex:equals.location]];
  }
  return query;
}

static id BodyJSON(const DWEditorRequest *request) {
  NSData *body = [NSData dataWithBytes:request->body length:request->bodyLength];
  id document = nil;
  @try {
    document = [NSJSONSerialization JSONObjectWithData:body options:0 error:NULL];
  } @catch (NSException *exception) {
    document = nil;
  }
  return [document isKindOfClass:[NSDictionary class]] ? document : nil;
}

// Enough of each file's identity that any write shows: a rename gives a new inode, a rewrite a new time.
static NSString *FilesStamp(NSString *root) {
  NSMutableString *stamp = [NSMutableString string];
  for (NSString *devicePath in ThemeDevicePaths()) {
    struct stat status;
    if (stat([[root stringByAppendingPathComponent:devicePath] fileSystemRepresentation], &status) != 0) {
      [stamp appendString:@"-;"];
      continue;
    }
    [stamp appendFormat:@"%llu:%llu:%lld:%lld.%09ld:%lld.%09ld;", (unsigned long long)status.st_dev,
                        (unsigned long long)status.st_ino, (long long)status.st_size, (long long)status.st_mtim.tv_sec,
                        status.st_mtim.tv_nsec, (long long)status.st_ctim.tv_sec, status.st_ctim.tv_nsec];
  }
  return stamp;
}

@implementation DWEditorSession

// The cells' values as the files hold them, read with the drawing they go with.
- (void)readValues {
  [values release];
  values = [DWEditorPaneValues(layout, root) retain];
}


- (id)initWithRoot:(NSString *)deviceRoot
            layout:(DWPaneLayout *)pane
             token:(NSString *)runToken
             error:(NSString **)error {
  if (!(self = [super init])) return nil;
  root = [deviceRoot copy];
  token = [runToken copy];
  layout = [pane retain];
  filesSeen = [FilesStamp(root) copy];
  [self readValues];
  screens = [[DWEditorScreens alloc] initWithRoot:root error:error];
  if (screens == nil) {
    [self release];
    return nil;
  }
  lastChange = [@"drawn from the files" copy];
  return self;
}

- (void)dealloc {
  [root release];
  [token release];
  [layout release];
  [screens release];
  [filesSeen release];
  [pending release];
  [lastChange release];
  [values release];
  [super dealloc];
}

- (void)noteChange:(NSString *)what {
  [lastChange release];
  lastChange = [what copy];
}

// Draws again after a change to the files, and tells the waiting pages.
- (BOOL)redrawAfter:(NSString *)what error:(NSString **)error {
  [filesSeen release];
  filesSeen = [FilesStamp(root) copy];
  [self readValues];
  BOOL drawn = [screens redraw:error];
  [self noteChange:what];
  DWEditorChanged();
  return drawn;
}

- (void)idle {
  double now = [NSDate timeIntervalSinceReferenceDate];
  // Two more passes over every screen: not while changes come one after the other.
  if ([screens needsAttribution] && now - lastPost >= kQuietBeforeAttribution) {
    NSString *error = nil;
    if ([screens attribute:&error]) {
      DWEditorChanged();
    } else {
      [self noteChange:[NSString stringWithFormat:@"%@; who painted what is unknown: %@", lastChange, error]];
    }
  }
  if (now - lastLook < kLookEvery) return;
  lastLook = now;
  if ([FilesStamp(root) isEqualToString:filesSeen]) return;
  NSString *error = nil;
  if (![self redrawAfter:@"the files changed on disk" error:&error]) {
    [self noteChange:[NSString stringWithFormat:@"the files changed on disk; %@", error]];
  }
}

- (NSDictionary *)state {
  NSMutableArray *shown = [NSMutableArray array];
  for (NSUInteger i = 0; i < [screens->names count]; ++i) {
    NSMutableDictionary *screen = [NSMutableDictionary dictionaryWithDictionary:[screens->sizes objectAtIndex:i]];
    [screen setObject:[screens->names objectAtIndex:i] forKey:@"name"];
    [screen setObject:[screens->withVersions objectAtIndex:i] forKey:@"with"];
    [screen setObject:[screens->withoutVersions objectAtIndex:i] forKey:@"without"];
    [screen setObject:[screens regionsOfScreen:i] forKey:@"regions"];
    [shown addObject:screen];
  }
  NSDictionary *drawing = [NSDictionary
      dictionaryWithObjectsAndKeys:[NSNumber numberWithDouble:screens->lastMilliseconds], @"milliseconds",
                                   [NSNumber numberWithUnsignedInteger:screens->redrawnScreens], @"redrawnScreens",
                                   [NSNumber numberWithBool:![screens needsAttribution]], @"attributed", nil];
  return [NSDictionary dictionaryWithObjectsAndKeys:[NSNumber numberWithUnsignedLong:DWEditorVersion()], @"version",
                                                    root, @"root", values, @"values", shown,
                                                    @"screens", screens->doctor ? screens->doctor : (id)[NSNull null],
                                                    @"doctor", drawing, @"drawing", lastChange, @"change", nil];
}

- (void)set:(const DWEditorRequest *)request reply:(DWEditorReply *)reply {
  NSDictionary *body = BodyJSON(request);
  NSString *cellId = [body objectForKey:@"id"];
  NSRange slash = [cellId isKindOfClass:[NSString class]] ? [cellId rangeOfString:@"/"] : NSMakeRange(NSNotFound, 0);
  if (slash.location == NSNotFound || [body objectForKey:@"value"] == nil) {
    ReplyError(reply, 400, @"a change is {\"id\": \"domain/key\", \"value\": ...}");
    return;
  }
  NSString *domain = [cellId substringToIndex:slash.location], *key = [cellId substringFromIndex:NSMaxRange(slash)];
  NSString *devicePath = nil, *error = nil;
  id value = DWEditorValueForCell(layout, domain, key, [body objectForKey:@"value"], &devicePath, &error);
  if (value == nil) {
    ReplyError(reply, 400, error);
    return;
  }
  if (!DWSetThemeValue(root, devicePath, key, value, &error)) {
    ReplyError(reply, 409, error);
    return;
  }
  NSString *written = DWPaneIsBoolean(value) ? ([value boolValue] ? @"true" : @"false") : value;
  NSString *what = [NSString stringWithFormat:@"%@ = %@ written to %@", key, written,
                                              [root stringByAppendingPathComponent:devicePath]];
  if (![self redrawAfter:what error:&error]) [self noteChange:[NSString stringWithFormat:@"%@; %@", what, error]];
  ReplyJSON(reply, 200, [self state]);
}

- (void)upload:(const DWEditorRequest *)request reply:(DWEditorReply *)reply {
  // A new upload replaces the one waiting, whether it is taken or refused.
  [pending release];
  pending = nil;
  NSString *error = nil;
  NSDictionary *files = DWReadThemeArchive([NSData dataWithBytes:request->body length:request->bodyLength], &error);
  if (files == nil) {
    ReplyError(reply, 422, [NSString stringWithFormat:@"the archive is refused, nothing was written: %@", error]);
    return;
  }
  pending = [files retain];
  ++pendingNumber;
  NSMutableArray *listed = [NSMutableArray array];
  for (NSString *devicePath in ThemeDevicePaths()) {
    NSDictionary *file = [files objectForKey:devicePath];
    if (file == nil) continue;
    NSMutableDictionary *keys = [NSMutableDictionary dictionary];
    for (NSString *key in file) {
      id value = [file objectForKey:key];
      [keys setObject:DWPaneIsBoolean(value) ? ([value boolValue] ? @"true" : @"false") : [value description]
                 forKey:[key description]];
    }
    [listed addObject:[NSDictionary dictionaryWithObjectsAndKeys:devicePath, @"devicePath", keys, @"values", nil]];
  }
  ReplyJSON(reply, 200, [NSDictionary dictionaryWithObjectsAndKeys:[NSNumber numberWithUnsignedLong:pendingNumber],
                                                                   @"upload", listed, @"files", nil]);
}

- (void)confirm:(const DWEditorRequest *)request reply:(DWEditorReply *)reply {
  NSString *number = [QueryOf(request) objectForKey:@"upload"];
  if (pending == nil || number == nil || strtoul([number UTF8String], NULL, 10) != pendingNumber) {
    ReplyError(reply, 409, @"no such upload waits to be written (upload it again)");
    return;
  }
  NSDictionary *files = [pending autorelease];
  pending = nil;
  NSMutableArray *written = [NSMutableArray array];
  NSString *error = nil;
  for (NSString *devicePath in ThemeDevicePaths()) {
    NSDictionary *file = [files objectForKey:devicePath];
    if (file == nil) continue;
    if (!DWReplaceThemeFile(root, devicePath, file, &error)) break;
    [written addObject:[devicePath lastPathComponent]];
    error = nil;
  }
  NSString *what = [NSString stringWithFormat:@"uploaded theme written: %@", [written componentsJoinedByString:@", "]];
  if (error != nil) what = [NSString stringWithFormat:@"%@; stopped at %@", what, error];
  NSString *drawError = nil;
  if (![self redrawAfter:what error:&drawError]) [self noteChange:[NSString stringWithFormat:@"%@; %@", what, drawError]];
  if (error != nil) {
    ReplyError(reply, 409, what);
    return;
  }
  ReplyJSON(reply, 200, [self state]);
}

- (BOOL)picture:(NSString *)path reply:(DWEditorReply *)reply {
  NSArray *parts = [path pathComponents];  // "/", "screens", "with", "3.png"
  if ([parts count] != 4 || ![[parts objectAtIndex:1] isEqual:@"screens"]) return NO;
  NSArray *side = [[parts objectAtIndex:2] isEqual:@"with"]      ? screens->with
                  : [[parts objectAtIndex:2] isEqual:@"without"] ? screens->without
                                                                 : nil;
  NSString *file = [parts objectAtIndex:3];
  NSString *digits = [file stringByDeletingPathExtension];
  if (side == nil || ![[file pathExtension] isEqual:@"png"] || [digits length] == 0 ||
      [[digits stringByTrimmingCharactersInSet:[NSCharacterSet decimalDigitCharacterSet]] length] != 0 ||
      (NSUInteger)[digits integerValue] >= [side count]) {
    return NO;
  }
  Reply(reply, 200, "image/png", [side objectAtIndex:(NSUInteger)[digits integerValue]]);
  return YES;
}

- (void)handle:(const DWEditorRequest *)request reply:(DWEditorReply *)reply {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  NSString *path = [NSString stringWithUTF8String:request->path];
  BOOL get = strcmp(request->method, "GET") == 0, post = strcmp(request->method, "POST") == 0;
  if (post) lastPost = [NSDate timeIntervalSinceReferenceDate];
  BOOL answered = NO;
  if (get) {
    for (size_t i = 0; i < DWEditorAssetCount; ++i) {
      if (strcmp(DWEditorAssets[i].path, request->path) == 0) {
        NSData *bytes = [NSData dataWithBytes:DWEditorAssets[i].bytes length:DWEditorAssets[i].length];
        if (strcmp(request->path, "/") == 0) {
          NSString *page = [[[NSString alloc] initWithData:bytes encoding:NSUTF8StringEncoding] autorelease];
          bytes = [[page stringByReplacingOccurrencesOfString:@"RUN_TOKEN" withString:token]
              dataUsingEncoding:NSUTF8StringEncoding];
        }
        Reply(reply, 200, DWEditorAssets[i].contentType, bytes);
        answered = YES;
      }
    }
  }
  if (answered) {
  } else if (get && [path isEqual:@"/api/pane"]) {
    NSMutableDictionary *document = [NSMutableDictionary dictionaryWithDictionary:DWEditorPaneDocument(layout)];
    [document setObject:layout->folder forKey:@"folder"];
    ReplyJSON(reply, 200, document);
  } else if (get && [path isEqual:@"/api/state"]) {
    ReplyJSON(reply, 200, [self state]);
  } else if (get && [path hasPrefix:@"/screens/"] && [self picture:path reply:reply]) {
  } else if (get && [path isEqual:@"/api/theme.tar"]) {
    NSString *error = nil;
    NSData *archive = DWThemeArchive(root, &error);
    if (archive == nil) {
      ReplyError(reply, 409, error);
    } else {
      Reply(reply, 200, "application/x-tar", archive);
      reply->fileName = "duskwell-theme.tar";
    }
  } else if (post && [path isEqual:@"/api/set"]) {
    [self set:request reply:reply];
  } else if (post && [path isEqual:@"/api/upload"]) {
    [self upload:request reply:reply];
  } else if (post && [path isEqual:@"/api/upload/confirm"]) {
    [self confirm:request reply:reply];
  } else if (post && [path isEqual:@"/api/upload/cancel"]) {
    [pending release];
    pending = nil;
    ReplyJSON(reply, 200, [NSDictionary dictionary]);
  } else {
    ReplyError(reply, 404, [NSString stringWithFormat:@"%s %@: no such thing here", request->method, path]);
  }
  [pool release];
}

@end
