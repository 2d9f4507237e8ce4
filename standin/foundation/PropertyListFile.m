// Property-list files: open, one read, close for an ordinary file; the checks only when the read
// says more. What the bytes hold is DWPropertyListFromBytes's to judge.
#import "PropertyListFile.h"

#import "PropertyListResult.h"

#include <errno.h>
#include <fcntl.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// Why a file that could not be read is not a regular file, or false when it is one (or unknown).
static bool NotRegular(int fd, const char *path, DWPropertyListReadResult *result) {
  struct stat status;
  if ((fd >= 0 ? fstat(fd, &status) : stat(path, &status)) != 0 || S_ISREG(status.st_mode)) return false;
  if (result != NULL) result->fileType = status.st_mode & S_IFMT;
  DWReportPropertyListOutcome(result, DWPropertyListNotRegular);
  return true;
}

id DWReadPropertyListFile(const char *path, DWPropertyListReadResult *result) {
  if (result != NULL) memset(result, 0, sizeof *result);
  // O_NONBLOCK: opening a FIFO does not wait for a writer. pread: FIFOs, sockets and terminals
  // answer ESPIPE instead of blocking or handing over a stream.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    int error = errno;
    if (error == ENOENT || error == EACCES || error == ELOOP || error == ENOTDIR || !NotRegular(-1, path, result)) {
      if (result != NULL) result->error = error;
      DWReportPropertyListOutcome(result, DWPropertyListCannotOpen);
    }
    return nil;
  }
  uint8_t first[16384];
  ssize_t count;
  do count = pread(fd, first, sizeof first, 0);
  while (count < 0 && errno == EINTR);
  if (count >= 0 && (size_t)count < sizeof first) {  // a regular file's end: the whole file
    id object = DWPropertyListFromBytes(first, (size_t)count, result);
    if (object == nil) NotRegular(fd, path, result);  // /dev/null reads as empty; say what it is
    close(fd);
    return object;
  }
  id object = nil;
  int error = errno;
  struct stat status;
  bool known = fstat(fd, &status) == 0;
  if (!known) error = errno;
  if (known && !S_ISREG(status.st_mode)) {
    // refused: a directory, a FIFO, a device such as /dev/zero
    if (result != NULL) result->fileType = status.st_mode & S_IFMT;
    DWReportPropertyListOutcome(result, DWPropertyListNotRegular);
  } else if (count < 0 || !known) {
    if (result != NULL) result->error = error;
    DWReportPropertyListOutcome(result, DWPropertyListCannotRead);
  } else if (status.st_size > DWPropertyListMaxBytes) {
    if (result != NULL) result->size = (unsigned long long)status.st_size;
    DWReportPropertyListOutcome(result, DWPropertyListTooLarge);
  } else {
    // A larger file: read it whole, never past the limit, even if it grows meanwhile.
    size_t capacity = (size_t)status.st_size + 1 > sizeof first ? (size_t)status.st_size + 1 : sizeof first + 1;
    uint8_t *bytes = malloc(capacity);
    size_t length = 0;
    if (bytes != NULL) {
      memcpy(bytes, first, (size_t)count);
      length = (size_t)count;
      while (length <= DWPropertyListMaxBytes) {
        if (length == capacity) {
          size_t larger = capacity * 2 > (size_t)DWPropertyListMaxBytes + 1 ? (size_t)DWPropertyListMaxBytes + 1
                                                                           : capacity * 2;
          uint8_t *grown = larger > capacity ? realloc(bytes, larger) : NULL;
          if (grown == NULL) break;
          bytes = grown;
          capacity = larger;
        }
        do count = pread(fd, bytes + length, capacity - length, (off_t)length);
        while (count < 0 && errno == EINTR);
        if (count <= 0) break;
        length += (size_t)count;
      }
    }
    if (bytes == NULL || count < 0) {
      if (result != NULL) result->error = bytes == NULL ? ENOMEM : errno;
      DWReportPropertyListOutcome(result, DWPropertyListCannotRead);
    } else if (length > DWPropertyListMaxBytes) {
      DWReportPropertyListOutcome(result, DWPropertyListTooLarge);
    } else if (count == 0) {
      object = DWPropertyListFromBytes(bytes, length, result);
    } else {
      DWReportPropertyListOutcome(result, DWPropertyListTooLarge);
    }
    free(bytes);
  }
  close(fd);
  return object;
}
