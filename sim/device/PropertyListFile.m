// Property lists parsed by libplist, made into Foundation objects here. libplist recurses once per
// nesting level and copies a binary object once per reference, so the bytes are checked for depth
// and expansion before it sees them; everything else about the format is libplist's to judge.
#import "PropertyListFile.h"

#include <errno.h>
#include <fcntl.h>
#include <plist/plist.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static void Report(DWPropertyListReadResult *result, DWPropertyListOutcome outcome) {
  if (result != NULL) result->outcome = outcome;
}

// ---- Binary files: the object graph's depth and size, without recursion.

typedef struct {
  const uint8_t *bytes;
  size_t objectsEnd;  // objects and references lie before the 32-byte trailer
  size_t table;
  unsigned offsetSize, refSize;
  uint64_t count;
} BinaryLayout;

static uint64_t BigEndian(const uint8_t *bytes, unsigned width) {
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = (value << 8) | bytes[i];
  return value;
}

static bool ReadTrailer(const uint8_t *bytes, size_t length, BinaryLayout *layout) {
  if (length < 8 + 32) return false;
  const uint8_t *trailer = bytes + length - 32;
  layout->bytes = bytes;
  layout->objectsEnd = length - 32;
  layout->offsetSize = trailer[6];
  layout->refSize = trailer[7];
  layout->count = BigEndian(trailer + 8, 8);
  uint64_t top = BigEndian(trailer + 16, 8), table = BigEndian(trailer + 24, 8);
  if (layout->offsetSize < 1 || layout->offsetSize > 8 || layout->refSize < 1 || layout->refSize > 8) return false;
  if (layout->count == 0 || top >= layout->count || table < 8 || table > layout->objectsEnd) return false;
  if (layout->count > (layout->objectsEnd - table) / layout->offsetSize) return false;
  layout->table = (size_t)table;
  return true;
}

typedef struct {
  uint64_t object;
  uint64_t next, references;  // references: values of an array, keys then values of a dictionary
  size_t firstReference;
  bool isDictionary;
  uint64_t expanded;          // objects below, counting each reference
  unsigned height;            // deepest container below
} Frame;

// What one object holds: whether it is a container, its references, and whether it is a string that
// can be a key (libplist aborts on a key with a NUL character in it, so such a file is refused).
typedef struct {
  bool valid, container, dictionary, key, wideUnsigned;
  uint64_t references;
  size_t firstReference;
} ObjectShape;

static bool HasZeroUnit(const uint8_t *bytes, uint64_t units, unsigned width) {
  for (uint64_t i = 0; i < units; ++i) {
    if (bytes[i * width] == 0 && (width == 1 || bytes[i * width + 1] == 0)) return true;
  }
  return false;
}

static ObjectShape ShapeOf(const BinaryLayout *layout, uint64_t index) {
  ObjectShape shape = {false, false, false, false, false, 0, 0};
  uint64_t offset = BigEndian(layout->bytes + layout->table + index * layout->offsetSize, layout->offsetSize);
  if (offset < 8 || offset >= layout->objectsEnd) return shape;
  uint8_t marker = layout->bytes[offset];
  unsigned type = marker >> 4;
  shape.valid = true;
  if (marker == 0x14 && layout->objectsEnd - offset > 16) {  // 16 bytes: unsigned past 2^63 when the top half is 0
    const uint8_t *value = layout->bytes + offset + 1;
    shape.wideUnsigned = BigEndian(value, 8) == 0 && (value[8] & 0x80) != 0;
  }
  if (type != 0x5 && type != 0x6 && type != 0xA && type != 0xC && type != 0xD) return shape;
  uint64_t count = marker & 0xF;
  size_t position = (size_t)offset + 1;
  if (count == 0xF) {
    if (position >= layout->objectsEnd) return shape.valid = false, shape;
    uint8_t sizeMarker = layout->bytes[position];
    unsigned width = 1u << (sizeMarker & 0xF);
    if ((sizeMarker >> 4) != 0x1 || (sizeMarker & 0xF) > 3 || layout->objectsEnd - position - 1 < width) {
      return shape.valid = false, shape;
    }
    count = BigEndian(layout->bytes + position + 1, width);
    position += 1 + width;
  }
  if (type == 0x5 || type == 0x6) {
    unsigned width = type == 0x5 ? 1 : 2;
    if (count > (layout->objectsEnd - position) / width) return shape.valid = false, shape;
    shape.key = !HasZeroUnit(layout->bytes + position, count, width);
    return shape;
  }
  shape.dictionary = type == 0xD;
  uint64_t room = (layout->objectsEnd - position) / layout->refSize;
  if (count > (shape.dictionary ? room / 2 : room)) return shape.valid = false, shape;
  shape.container = true;
  shape.references = shape.dictionary ? count * 2 : count;
  shape.firstReference = position;
  return shape;
}

// The path of containers being measured starts on the stack and grows only as deep as the file
// nests: a preference file is two levels deep, and a large heap block per read would make the
// allocator merge its free lists each time.
enum { ShallowPath = 16 };

static bool DeepenPath(Frame **path, size_t *capacity, Frame *shallow) {
  size_t wanted = *capacity * 2 < DWPropertyListMaxDepth ? *capacity * 2 : DWPropertyListMaxDepth;
  Frame *deeper = *path == shallow ? malloc(sizeof(Frame) * wanted) : realloc(*path, sizeof(Frame) * wanted);
  if (deeper == NULL) return false;
  if (*path == shallow) memcpy(deeper, shallow, sizeof(Frame) * *capacity);
  *path = deeper;
  *capacity = wanted;
  return true;
}

// Depth and expansion of the graph below the top object, each object measured once.
static DWPropertyListOutcome CheckBinaryGraph(const uint8_t *bytes, size_t length, bool *wideUnsigned) {
  BinaryLayout layout;
  if (!ReadTrailer(bytes, length, &layout)) return DWPropertyListMalformed;
  if (layout.count > DWPropertyListMaxObjects) return DWPropertyListTooManyObjects;
  const uint32_t onPath = UINT32_MAX;
  uint32_t *expanded = calloc((size_t)layout.count, sizeof *expanded);  // 0: not yet seen
  uint16_t *height = calloc((size_t)layout.count, sizeof *height);
  Frame shallowPath[ShallowPath];
  Frame *path = shallowPath;
  size_t capacity = ShallowPath;
  DWPropertyListOutcome outcome = DWPropertyListRead;
  size_t depth = 0;
  if (expanded == NULL || height == NULL) {
    outcome = DWPropertyListTooManyObjects;
    goto done;
  }
  uint64_t top = BigEndian(bytes + length - 32 + 16, 8);
  ObjectShape shape = ShapeOf(&layout, top);
  if (!shape.valid) {
    outcome = DWPropertyListMalformed;
    goto done;
  }
  if (!shape.container) goto done;
  expanded[top] = onPath;
  path[depth++] = (Frame){top, 0, shape.references, shape.firstReference, shape.dictionary, 1, 0};
  while (depth > 0) {
    Frame *frame = &path[depth - 1];
    if (frame->next == frame->references) {
      expanded[frame->object] = (uint32_t)frame->expanded;
      height[frame->object] = (uint16_t)(frame->height + 1);
      uint64_t childExpanded = frame->expanded;
      unsigned childHeight = frame->height + 1;
      if (--depth == 0) break;
      Frame *parent = &path[depth - 1];
      parent->expanded += childExpanded;
      if (childHeight > parent->height) parent->height = childHeight;
      if (parent->expanded > DWPropertyListMaxObjects) {
        outcome = DWPropertyListTooManyObjects;
        goto done;
      }
      continue;
    }
    bool isKey = frame->isDictionary && frame->next < frame->references / 2;
    uint64_t child = BigEndian(bytes + frame->firstReference + frame->next * layout.refSize, layout.refSize);
    frame->next++;
    if (child >= layout.count || expanded[child] == onPath) {  // out of range, or a cycle
      outcome = DWPropertyListMalformed;
      goto done;
    }
    if (isKey && !ShapeOf(&layout, child).key) {  // a shared key is checked at each use
      outcome = DWPropertyListNonStringKey;
      goto done;
    }
    if (expanded[child] != 0) {  // measured already: a shared object
      frame->expanded += expanded[child];
      if (height[child] > frame->height) frame->height = height[child];
      if (depth + height[child] > DWPropertyListMaxDepth) outcome = DWPropertyListTooDeep;
      if (frame->expanded > DWPropertyListMaxObjects) outcome = DWPropertyListTooManyObjects;
      if (outcome != DWPropertyListRead) goto done;
      continue;
    }
    ObjectShape childShape = ShapeOf(&layout, child);
    if (!childShape.valid) {
      outcome = DWPropertyListMalformed;
      goto done;
    }
    if (childShape.wideUnsigned) *wideUnsigned = true;
    if (!childShape.container) {
      expanded[child] = 1;
      frame->expanded += 1;
      continue;
    }
    if (depth >= DWPropertyListMaxDepth) {
      outcome = DWPropertyListTooDeep;
      goto done;
    }
    if (depth == capacity && !DeepenPath(&path, &capacity, shallowPath)) {
      outcome = DWPropertyListTooManyObjects;
      goto done;
    }
    expanded[child] = onPath;
    path[depth++] = (Frame){child, 0, childShape.references, childShape.firstReference, childShape.dictionary, 1, 0};
  }
done:
  free(expanded);
  free(height);
  if (path != shallowPath) free(path);
  return outcome;
}

// ---- XML files: element depth, counted over tags, skipping comments, declarations and CDATA.

static const uint8_t *Find(const uint8_t *from, const uint8_t *end, const char *needle) {
  size_t length = strlen(needle);
  for (; (size_t)(end - from) >= length; ++from) {
    if (memcmp(from, needle, length) == 0) return from + length;
  }
  return end;
}

// True when the text at `p` is a decimal integer above 2^63-1.
static bool WideDecimal(const uint8_t *p, const uint8_t *end) {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
  if (p < end && *p == '+') ++p;
  while (p < end && *p == '0') ++p;
  const uint8_t *digits = p;
  while (p < end && *p >= '0' && *p <= '9') ++p;
  size_t count = (size_t)(p - digits);
  return count > 19 || (count == 19 && memcmp(digits, "9223372036854775807", 19) > 0);
}

static DWPropertyListOutcome CheckXMLDepth(const uint8_t *bytes, size_t length, bool *wideUnsigned) {
  const uint8_t *p = bytes, *end = bytes + length;
  long depth = 0;
  while ((p = memchr(p, '<', (size_t)(end - p))) != NULL) {
    ++p;
    if (p < end && *p == '!') {
      p = (end - p >= 3 && memcmp(p, "!--", 3) == 0) ? Find(p, end, "-->")
          : (end - p >= 8 && memcmp(p, "![CDATA[", 8) == 0) ? Find(p, end, "]]>")
                                                            : Find(p, end, ">");
      continue;
    }
    if (p < end && *p == '?') {
      p = Find(p, end, "?>");
      continue;
    }
    const uint8_t *close = Find(p, end, ">");
    if (close - p == 8 && memcmp(p, "integer>", 8) == 0 && WideDecimal(close, end)) *wideUnsigned = true;
    if (p < end && *p == '/') {
      --depth;
    } else if (close - p < 2 || close[-2] != '/') {
      // Containers sit inside <plist>, so the element limit is one above the container limit.
      if (++depth > DWPropertyListMaxDepth + 1) return DWPropertyListTooDeep;
    }
    p = close;
  }
  return DWPropertyListRead;
}

// ---- libplist nodes as Foundation objects, each retained once and owned by its container.

static long long SignedValue(uint64_t value) {
  // libplist 2.2 keeps integers as their 64-bit two's complement and does not say which were signed.
  return value <= (uint64_t)INT64_MAX ? (long long)value : -(long long)(~value) - 1;
}

static id ObjectFromNode(plist_t node, unsigned depth);

// A binary "ASCII" string may hold any bytes: read as Latin-1 what is not UTF-8 rather than lose the file.
static NSString *StringFromBytes(const char *bytes, size_t length) {
  NSString *string = [[NSString alloc] initWithBytes:bytes length:length encoding:NSUTF8StringEncoding];
  if (string == nil) string = [[NSString alloc] initWithBytes:bytes length:length encoding:NSISOLatin1StringEncoding];
  return string;
}

static id ArrayFromNode(plist_t node, unsigned depth) {
  uint32_t count = plist_array_get_size(node);
  id *items = count > 0 ? malloc(sizeof(id) * count) : NULL;
  if (count > 0 && items == NULL) return nil;
  uint32_t made = 0;
  for (; made < count; ++made) {
    if ((items[made] = ObjectFromNode(plist_array_get_item(node, made), depth + 1)) == nil) break;
  }
  NSArray *array = made == count ? [[NSArray alloc] initWithObjects:items count:count] : nil;
  for (uint32_t i = 0; i < made; ++i) [items[i] release];
  free(items);
  return array;
}

static id DictionaryFromNode(plist_t node, unsigned depth) {
  uint32_t count = plist_dict_get_size(node);
  id *keys = count > 0 ? malloc(sizeof(id) * count) : NULL;
  id *values = count > 0 ? malloc(sizeof(id) * count) : NULL;
  plist_dict_iter iterator = NULL;
  plist_dict_new_iter(node, &iterator);
  uint32_t made = 0;
  bool failed = count > 0 && (keys == NULL || values == NULL);
  while (!failed && made < count) {
    char *key = NULL;
    plist_t value = NULL;
    plist_dict_next_item(node, iterator, &key, &value);
    if (key == NULL || value == NULL) {
      free(key);
      failed = true;
      break;
    }
    keys[made] = StringFromBytes(key, strlen(key));
    free(key);
    values[made] = keys[made] != nil ? ObjectFromNode(value, depth + 1) : nil;
    if (values[made] == nil) {
      [keys[made] release];
      failed = true;
      break;
    }
    ++made;
  }
  free(iterator);
  NSDictionary *dictionary = failed ? nil : [[NSDictionary alloc] initWithObjects:values forKeys:keys count:count];
  for (uint32_t i = 0; i < made; ++i) {
    [keys[i] release];
    [values[i] release];
  }
  free(keys);
  free(values);
  return dictionary;
}

static id ObjectFromNode(plist_t node, unsigned depth) {
  if (node == NULL || depth > DWPropertyListMaxDepth + 1) return nil;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return [[NSNumber alloc] initWithBool:value != 0];
    }
    case PLIST_UINT: {
      uint64_t value = 0;
      plist_get_uint_val(node, &value);
      return [[NSNumber alloc] initWithLongLong:SignedValue(value)];
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return [[NSNumber alloc] initWithDouble:value];
    }
    case PLIST_STRING: {
      uint64_t length = 0;
      const char *text = plist_get_string_ptr(node, &length);
      return text != NULL ? StringFromBytes(text, (size_t)length) : nil;
    }
    case PLIST_DATE: {
      int32_t seconds = 0, microseconds = 0;
      plist_get_date_val(node, &seconds, &microseconds);
      return [[NSDate alloc] initWithTimeIntervalSinceReferenceDate:seconds + microseconds / 1e6];
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char *bytes = plist_get_data_ptr(node, &length);
      return [[NSData alloc] initWithBytes:bytes length:(NSUInteger)length];
    }
    case PLIST_ARRAY: return ArrayFromNode(node, depth);
    case PLIST_DICT: return DictionaryFromNode(node, depth);
    case PLIST_UID: {  // as keyed archives spell a reference in XML
      uint64_t value = 0;
      plist_get_uid_val(node, &value);
      NSNumber *number = [[NSNumber alloc] initWithUnsignedLongLong:value];
      NSString *key = @"CF$UID";
      NSDictionary *reference = [[NSDictionary alloc] initWithObjects:&number forKeys:&key count:1];
      [number release];
      return reference;
    }
    default: return nil;
  }
}

id DWPropertyListFromBytes(const void *bytes, size_t length, DWPropertyListReadResult *result) {
  if (length > DWPropertyListMaxBytes) {
    if (result != NULL) result->size = length;
    Report(result, DWPropertyListTooLarge);
    return nil;
  }
  BOOL binary = plist_is_binary(bytes, (uint32_t)length) != 0;
  bool wideUnsigned = false;
  DWPropertyListOutcome check =
      binary ? CheckBinaryGraph(bytes, length, &wideUnsigned) : CheckXMLDepth(bytes, length, &wideUnsigned);
  if (result != NULL) result->wideUnsigned = wideUnsigned;
  if (check != DWPropertyListRead) {
    Report(result, check);
    return nil;
  }
  plist_t root = NULL;
  if (length > 0) plist_from_memory(bytes, (uint32_t)length, &root);
  id object = ObjectFromNode(root, 0);
  plist_free(root);
  Report(result, object != nil ? DWPropertyListRead : DWPropertyListMalformed);
  return object;
}

// ---- Files: open, one read, close for an ordinary file; the checks only when the read says more.

// Why a file that could not be read is not a regular file, or false when it is one (or unknown).
static bool NotRegular(int fd, const char *path, DWPropertyListReadResult *result) {
  struct stat status;
  if ((fd >= 0 ? fstat(fd, &status) : stat(path, &status)) != 0 || S_ISREG(status.st_mode)) return false;
  if (result != NULL) result->fileType = status.st_mode & S_IFMT;
  Report(result, DWPropertyListNotRegular);
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
      Report(result, DWPropertyListCannotOpen);
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
    Report(result, DWPropertyListNotRegular);
  } else if (count < 0 || !known) {
    if (result != NULL) result->error = error;
    Report(result, DWPropertyListCannotRead);
  } else if (status.st_size > DWPropertyListMaxBytes) {
    if (result != NULL) result->size = (unsigned long long)status.st_size;
    Report(result, DWPropertyListTooLarge);
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
      Report(result, DWPropertyListCannotRead);
    } else if (length > DWPropertyListMaxBytes) {
      Report(result, DWPropertyListTooLarge);
    } else if (count == 0) {
      object = DWPropertyListFromBytes(bytes, length, result);
    } else {
      Report(result, DWPropertyListTooLarge);
    }
    free(bytes);
  }
  close(fd);
  return object;
}

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
    case DWPropertyListMalformed: return @"it is not a readable property list (XML or binary)";
    case DWPropertyListTooDeep:
      return [NSString stringWithFormat:@"it nests arrays or dictionaries deeper than %d levels",
                                        DWPropertyListMaxDepth];
    case DWPropertyListTooManyObjects:
      return [NSString stringWithFormat:@"it expands to more than %d objects", DWPropertyListMaxObjects];
    case DWPropertyListNonStringKey:
      return @"a dictionary in it has a key that is not a string, or a key with a NUL character";
  }
  return @"it cannot be read";
}
