// The classes of the hook table, read from its source at build time, so that the filter names
// classes the library really hooks without anyone typing them a second time.
#pragma once

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DWClassList {
  char **names;  // table order, each class once
  size_t count;
} DWClassList;

// Reads the rows of `hookTable[]` in the hook table's source; false with `reason` set when the file
// cannot be read or holds no table.
bool DWReadHookTableClasses(const char *path, DWClassList *classes, char *reason, size_t reasonSize);
void DWFreeClassList(DWClassList *classes);
bool DWClassListHas(const DWClassList *classes, const char *name);

// A class that only the host app defines (its own prefixes), never one of UIKit's.
bool DWIsHostOnlyClass(const char *name);

// The classes the filter names: the first host-only class of each of the host's prefixes, in table
// order. Returns how many were found (at most `capacity`).
size_t DWPickFilterClasses(const DWClassList *classes, const char **picked, size_t capacity);

#ifdef __cplusplus
}
#endif
