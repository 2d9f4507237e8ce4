#import "ThemeArchive.h"

#import "FileWriting.h"
#import "ThemeFiles.h"

#import "standin/foundation/PropertyListFile.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

const size_t DWThemeArchiveMaxBytes = 4 * (size_t)DWPropertyListMaxBytes + (1 << 20);
// Entries an archive of four files can reasonably hold: the files and the directories above them.
static const int kMostEntries = 32;

static NSArray *ThemeDevicePaths(void) {
  NSMutableArray *paths = [NSMutableArray arrayWithObject:DWMainPrefsDevicePath];
  for (NSString *role in DWPaletteRoles()) [paths addObject:DWPaletteDevicePath(role)];
  return paths;
}

static la_ssize_t AppendArchive(struct archive *archive, void *closure, const void *bytes, size_t length) {
  (void)archive;
  [(NSMutableData *)closure appendBytes:bytes length:length];
  return (la_ssize_t)length;
}

NSData *DWThemeArchive(NSString *root, NSString **error) {
  NSMutableData *output = [NSMutableData data];
  struct archive *archive = archive_write_new();
  archive_write_set_format_ustar(archive);
  archive_write_set_bytes_in_last_block(archive, 1);
  if (archive_write_open(archive, output, NULL, AppendArchive, NULL) != ARCHIVE_OK) {
    *error = [NSString stringWithFormat:@"cannot make the archive (%s)", archive_error_string(archive)];
    archive_write_free(archive);
    return nil;
  }
  BOOL ok = YES;
  for (NSString *devicePath in ThemeDevicePaths()) {
    NSString *local = [root stringByAppendingPathComponent:devicePath];
    struct stat status;
    if (stat([local fileSystemRepresentation], &status) != 0) continue;  // a file the theme does not have
    if (!S_ISREG(status.st_mode) || status.st_size > DWPropertyListMaxBytes) {
      *error = [NSString stringWithFormat:@"%@ is not a theme file (not a plain file, or too large)", local];
      ok = NO;
      break;
    }
    NSData *bytes = [NSData dataWithContentsOfFile:local];
    if (bytes == nil) {
      *error = [NSString stringWithFormat:@"%@ cannot be read", local];
      ok = NO;
      break;
    }
    struct archive_entry *entry = archive_entry_new();
    archive_entry_set_pathname(entry, [[devicePath substringFromIndex:1] UTF8String]);
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, (la_int64_t)[bytes length]);
    archive_entry_set_mtime(entry, status.st_mtime, 0);
    ok = archive_write_header(archive, entry) == ARCHIVE_OK &&
         archive_write_data(archive, [bytes bytes], [bytes length]) == (la_ssize_t)[bytes length];
    archive_entry_free(entry);
    if (!ok) {
      *error = [NSString stringWithFormat:@"cannot add %@ to the archive (%s)", local, archive_error_string(archive)];
      break;
    }
  }
  if (archive_write_close(archive) != ARCHIVE_OK && ok) {
    *error = [NSString stringWithFormat:@"cannot finish the archive (%s)", archive_error_string(archive)];
    ok = NO;
  }
  archive_write_free(archive);
  return ok ? output : nil;
}

// The device path an entry's name stands for, or nil.
static NSString *DevicePathOfEntry(NSString *name) {
  while ([name hasPrefix:@"./"]) name = [name substringFromIndex:2];
  for (NSString *devicePath in ThemeDevicePaths()) {
    if ([name isEqualToString:[devicePath substringFromIndex:1]] || [name isEqualToString:[devicePath lastPathComponent]])
      return devicePath;
  }
  return nil;
}

// A directory on the way to the files ("var/", "var/mobile/Library/"), which the archive may list.
static BOOL IsDirectoryOnTheWay(NSString *name) {
  while ([name hasPrefix:@"./"]) name = [name substringFromIndex:2];
  while ([name hasSuffix:@"/"]) name = [name substringToIndex:[name length] - 1];
  if ([name length] == 0 || [name isEqualToString:@"."]) return YES;
  NSString *folder = [[DWMainPrefsDevicePath stringByDeletingLastPathComponent] substringFromIndex:1];
  return [folder isEqualToString:name] || [folder hasPrefix:[name stringByAppendingString:@"/"]];
}

static NSDictionary *ReadEntries(struct archive *archive, NSString **error) {
  NSMutableDictionary *files = [NSMutableDictionary dictionary];
  struct archive_entry *entry;
  int count = 0, status;
  while ((status = archive_read_next_header(archive, &entry)) == ARCHIVE_OK) {
    const char *rawName = archive_entry_pathname(entry);
    NSString *name = rawName ? [NSString stringWithUTF8String:rawName] : nil;
    if (name == nil) {
      *error = @"an entry has no readable name";
      return nil;
    }
    if (++count > kMostEntries) {
      *error = [NSString stringWithFormat:@"the archive has more than %d entries; a theme has four files", kMostEntries];
      return nil;
    }
    mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFDIR && IsDirectoryOnTheWay(name)) continue;
    NSString *devicePath = DevicePathOfEntry(name);
    if (devicePath == nil) {
      *error = [NSString stringWithFormat:@"%@ is not one of the theme's four files (%@)", name,
                                          [[ThemeDevicePaths() valueForKey:@"lastPathComponent"]
                                              componentsJoinedByString:@", "]];
      return nil;
    }
    if (type != AE_IFREG || archive_entry_hardlink(entry) != NULL) {
      *error = [NSString stringWithFormat:@"%@ is not a plain file (a link, a directory or a device)", name];
      return nil;
    }
    if ([files objectForKey:devicePath] != nil) {
      *error = [NSString stringWithFormat:@"%@ is in the archive twice", [devicePath lastPathComponent]];
      return nil;
    }
    // The size the header claims is not trusted: at most one byte past the limit is ever read.
    NSMutableData *bytes = [NSMutableData data];
    char buffer[65536];
    la_ssize_t got;
    while ((got = archive_read_data(archive, buffer, sizeof buffer)) > 0) {
      [bytes appendBytes:buffer length:(NSUInteger)got];
      if ([bytes length] > DWPropertyListMaxBytes) {
        *error = [NSString stringWithFormat:@"%@ is larger than %d MiB, more than the device reads", name,
                                            DWPropertyListMaxBytes >> 20];
        return nil;
      }
    }
    if (got < 0) {
      *error = [NSString stringWithFormat:@"%@ cannot be read from the archive (%s)", name, archive_error_string(archive)];
      return nil;
    }
    DWPropertyListReadResult result;
    id list = [DWPropertyListFromBytes([bytes bytes], [bytes length], &result) autorelease];
    if (list == nil) {
      *error = [NSString stringWithFormat:@"%@: %@", name, DWPropertyListOutcomeText(&result)];
      return nil;
    }
    if (![list isKindOfClass:[NSDictionary class]]) {
      *error = [NSString stringWithFormat:@"%@: its top level is a %@, not a dictionary", name, DWValueKind(list)];
      return nil;
    }
    NSString *unstorable = nil;
    if (result.wideUnsigned) {
      *error = [NSString stringWithFormat:@"%@ holds an integer above 9223372036854775807, which cannot be written "
                                          @"back exactly",
                                          name];
      return nil;
    }
    if (!DWCheckStorable(list, nil, &unstorable)) {
      *error = [NSString stringWithFormat:@"%@: %@", name, unstorable];
      return nil;
    }
    [files setObject:list forKey:devicePath];
  }
  if (status != ARCHIVE_EOF) {
    *error = [NSString stringWithFormat:@"not a tar or zip archive this editor reads (%s)", archive_error_string(archive)];
    return nil;
  }
  if ([files count] == 0) {
    *error = @"the archive holds none of the theme's four files";
    return nil;
  }
  return files;
}

NSDictionary *DWReadThemeArchive(NSData *bytes, NSString **error) {
  if ([bytes length] > DWThemeArchiveMaxBytes) {
    *error = [NSString stringWithFormat:@"the archive is larger than %zu MiB", DWThemeArchiveMaxBytes >> 20];
    return nil;
  }
  struct archive *archive = archive_read_new();
  archive_read_support_format_tar(archive);
  archive_read_support_format_zip(archive);
  archive_read_support_filter_gzip(archive);
  NSDictionary *files = nil;
  if (archive_read_open_memory(archive, [bytes bytes], [bytes length]) != ARCHIVE_OK) {
    *error = [NSString stringWithFormat:@"not a tar or zip archive this editor reads (%s)", archive_error_string(archive)];
  } else {
    files = ReadEntries(archive, error);
  }
  archive_read_free(archive);
  return files;
}
