#import "FileWriting.h"

#import "standin/foundation/PropertyListFile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <math.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

NSString *DWSymbolicLinkTarget(NSString *path) {
  char target[PATH_MAX];
  ssize_t length = readlink([path fileSystemRepresentation], target, sizeof target);
  if (length < 0 || (size_t)length >= sizeof target) return nil;
  return [[NSFileManager defaultManager] stringWithFileSystemRepresentation:target length:(NSUInteger)length];
}

NSString *DWWriteTarget(NSString *localPath, NSString **error) {
  struct stat status;
  if (lstat([localPath fileSystemRepresentation], &status) != 0 || !S_ISLNK(status.st_mode)) return localPath;
  char resolved[PATH_MAX];
  if (realpath([localPath fileSystemRepresentation], resolved) != NULL) {
    return [[NSFileManager defaultManager] stringWithFileSystemRepresentation:resolved length:strlen(resolved)];
  }
  if (errno == ELOOP) {
    *error = [NSString stringWithFormat:@"%@ is a symbolic link loop", localPath];
  } else if (errno == ENOENT) {
    NSString *target = DWSymbolicLinkTarget(localPath);
    *error = [NSString stringWithFormat:@"%@ is a symbolic link to %@, which does not exist", localPath,
                                        target != nil ? target : @"a missing file"];
  } else {
    *error = [NSString stringWithFormat:@"%@ is a symbolic link that cannot be followed (%s)", localPath,
                                        strerror(errno)];
  }
  return nil;
}

int DWLockDirectory(NSString *directory, NSString **error) {
  int fd = open([directory fileSystemRepresentation], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *error = [NSString stringWithFormat:@"cannot open the directory %@ (%s)", directory, strerror(errno)];
    return -1;
  }
  int locked;
  do locked = flock(fd, LOCK_EX);
  while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    *error = [NSString stringWithFormat:@"cannot lock the directory %@ (%s)", directory, strerror(errno)];
    close(fd);
    return -1;
  }
  return fd;
}

void DWUnlock(int lock) {
  if (lock >= 0) close(lock);
}

BOOL DWCheckStorable(id value, NSString *where, NSString **error) {
  if ([value isKindOfClass:[NSNumber class]]) {
    const char *type = [value objCType];
    if ((strcmp(type, "d") == 0 || strcmp(type, "f") == 0) && !isfinite([value doubleValue])) {
      *error = [NSString stringWithFormat:@"%@ holds %@, which a property-list file cannot hold", where,
                                          isnan([value doubleValue]) ? @"NaN (not a number)" : @"an infinity"];
      return NO;
    }
  } else if ([value isKindOfClass:[NSArray class]]) {
    for (NSUInteger i = 0; i < [value count]; ++i) {
      NSString *item = [NSString stringWithFormat:@"%@, item %lu", where, (unsigned long)i + 1];
      if (!DWCheckStorable([value objectAtIndex:i], item, error)) return NO;
    }
  } else if ([value isKindOfClass:[NSDictionary class]]) {
    for (id key in [value allKeys]) {
      NSString *inner = where != nil ? [NSString stringWithFormat:@"%@, key \"%@\"", where, key]
                                     : [NSString stringWithFormat:@"key \"%@\"", key];
      if (!DWCheckStorable([value objectForKey:key], inner, error)) return NO;
    }
  }
  return YES;
}

static BOOL WriteAll(int fd, const char *bytes, size_t length) {
  while (length > 0) {
    ssize_t written = write(fd, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return NO;
    }
    bytes += written;
    length -= (size_t)written;
  }
  return YES;
}

NSString *DWWriteTemporary(NSDictionary *dictionary, NSString *directory, NSString *name, mode_t mode, uid_t owner,
                           gid_t group, NSString **error) {
  // Past a file-size limit the write fails with EFBIG rather than the signal ending the tool mid-way.
  signal(SIGXFSZ, SIG_IGN);
  NSString *target = [directory stringByAppendingPathComponent:name];
  if (!DWCheckStorable(dictionary, nil, error)) {
    *error = [NSString stringWithFormat:@"%@: %@", target, *error];
    return nil;
  }
  NSString *encodingError = nil;
  NSData *data = [NSPropertyListSerialization dataFromPropertyList:dictionary
                                                            format:NSPropertyListBinaryFormat_v1_0
                                                  errorDescription:&encodingError];
  if (data == nil) {
    *error = [NSString stringWithFormat:@"%@: cannot encode the settings (%@)", target, encodingError];
    return nil;
  }
  NSString *pattern = [directory stringByAppendingPathComponent:[NSString stringWithFormat:@".%@.XXXXXX", name]];
  char *temporary = strdup([pattern fileSystemRepresentation]);
  int fd = temporary != NULL ? mkstemp(temporary) : -1;
  if (fd < 0) {
    *error = [NSString stringWithFormat:@"%@: cannot create a file in %@ (%s)", target, directory, strerror(errno)];
    free(temporary);
    return nil;
  }
  BOOL ok = (owner == (uid_t)-1 || fchown(fd, owner, group) == 0 || errno == EPERM) && fchmod(fd, mode) == 0 &&
            WriteAll(fd, [data bytes], [data length]) && fsync(fd) == 0;
  int writeError = errno;
  if (close(fd) != 0 && ok) {
    ok = NO;
    writeError = errno;
  }
  NSString *path = [[NSFileManager defaultManager] stringWithFileSystemRepresentation:temporary
                                                                               length:strlen(temporary)];
  if (!ok) {
    *error = [NSString stringWithFormat:@"%@: cannot write (%s)", target, strerror(writeError)];
  } else {
    // What the device will read from the file must be what was meant, to the last value.
    DWPropertyListReadResult result;
    id readBack = DWReadPropertyListFile(temporary, &result);
    if (![readBack isEqual:dictionary]) {
      ok = NO;
      *error = [NSString stringWithFormat:@"%@: the new file does not read back as written (%@); nothing changed",
                                          target, readBack == nil ? DWPropertyListOutcomeText(&result)
                                                                  : @"values differ"];
    }
    [readBack release];
  }
  if (!ok) unlink(temporary);
  free(temporary);
  return ok ? path : nil;
}

void DWSyncDirectory(NSString *directory) {
  int fd = open([directory fileSystemRepresentation], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

BOOL DWMakeDirectories(NSString *directory, NSMutableArray *made, NSString **error) {
  NSMutableArray *missing = [NSMutableArray array];
  struct stat status;
  for (NSString *path = directory; [path length] > 0 && ![path isEqualToString:@"/"];
       path = [path stringByDeletingLastPathComponent]) {
    if (stat([path fileSystemRepresentation], &status) == 0) {
      if (S_ISDIR(status.st_mode)) break;
      *error = [NSString stringWithFormat:@"%@ exists and is not a directory", path];
      return NO;
    }
    if (errno != ENOENT) {
      *error = [NSString stringWithFormat:@"cannot use the directory %@ (%s)", path, strerror(errno)];
      return NO;
    }
    [missing insertObject:path atIndex:0];
  }
  for (NSString *path in missing) {
    if (mkdir([path fileSystemRepresentation], 0777) != 0 && errno != EEXIST) {
      *error = [NSString stringWithFormat:@"cannot create the directory %@ (%s)", path, strerror(errno)];
      return NO;
    }
    [made addObject:path];
  }
  return YES;
}

void DWRemoveDirectories(NSArray *made) {
  for (NSString *path in [made reverseObjectEnumerator]) rmdir([path fileSystemRepresentation]);
}
