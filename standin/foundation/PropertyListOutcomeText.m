// A failed read in plain words, for the tools that say why a file is unusable.
#import "PropertyListFile.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

static NSString *FileTypeText(mode_t type) {
  switch (type) {
    case S_IFDIR: return @"a directory";
    case S_IFIFO: return @"a FIFO (named pipe)";
    case S_IFSOCK: return @"a socket";
    case S_IFCHR: return @"a character device";
    case S_IFBLK: return @"a block device";
    default: return @"not a regular file";
  }
}

NSString *DWPropertyListOutcomeText(const DWPropertyListReadResult *result) {
  switch (result->outcome) {
    case DWPropertyListRead: return @"read";
    case DWPropertyListCannotOpen:
      if (result->error == ENOENT) return @"the file does not exist";
      if (result->error == ELOOP) return @"it is a symbolic link loop (or a chain of too many links)";
      if (result->error == EACCES) return @"permission denied";
      if (result->error == ENOTDIR) return @"a part of its path is not a directory";
      return [NSString stringWithFormat:@"it cannot be opened (%s)", strerror(result->error)];
    case DWPropertyListNotRegular:
      return [NSString stringWithFormat:@"it is %@, not a regular file", FileTypeText(result->fileType)];
    case DWPropertyListTooLarge:
      if (result->size > 0) {
        return [NSString stringWithFormat:@"it is %llu bytes, over the %d MiB limit", result->size,
                                          DWPropertyListMaxBytes >> 20];
      }
      return [NSString stringWithFormat:@"it is over the %d MiB limit", DWPropertyListMaxBytes >> 20];
    case DWPropertyListCannotRead:
      return [NSString stringWithFormat:@"it cannot be read (%s)", strerror(result->error)];
    case DWPropertyListMalformed: return @"it is not a readable property list (binary, XML or old-style text)";
    case DWPropertyListTooDeep:
      return [NSString stringWithFormat:@"it nests arrays or dictionaries deeper than %d levels",
                                        DWPropertyListMaxDepth];
    case DWPropertyListTooManyObjects:
      return [NSString stringWithFormat:@"it expands to more than %d objects", DWPropertyListMaxObjects];
    case DWPropertyListNonStringKey:
      return @"a dictionary in it has a key that is not a string";
  }
  return @"it cannot be read";
}
