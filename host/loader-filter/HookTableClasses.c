#include "HookTableClasses.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *const kHostPrefixes[] = {"SPT", "GLUE", "HUB"};
enum { kHostPrefixCount = sizeof kHostPrefixes / sizeof kHostPrefixes[0] };

static const char *HostPrefix(const char *name) {
  for (size_t i = 0; i < kHostPrefixCount; ++i) {
    size_t length = strlen(kHostPrefixes[i]);
    // The prefix is followed by the class's own capitalised name: "SPTPopupView", not "SPTx".
    if (strncmp(name, kHostPrefixes[i], length) == 0 && isupper((unsigned char)name[length])) return kHostPrefixes[i];
  }
  return NULL;
}

bool DWIsHostOnlyClass(const char *name) { return HostPrefix(name) != NULL; }

bool DWClassListHas(const DWClassList *classes, const char *name) {
  for (size_t i = 0; i < classes->count; ++i) {
    if (strcmp(classes->names[i], name) == 0) return true;
  }
  return false;
}

static char *ReadWhole(const char *path) {
  FILE *file = fopen(path, "rb");
  if (file == NULL) return NULL;
  char *text = NULL;
  size_t length = 0, capacity = 0;
  for (;;) {
    if (capacity - length < 2) {
      size_t grownCapacity = capacity == 0 ? 65536 : capacity * 2;
      char *grown = realloc(text, grownCapacity);
      if (grown == NULL) break;
      text = grown;
      capacity = grownCapacity;
    }
    size_t got = fread(text + length, 1, capacity - length - 1, file);
    length += got;
    if (got == 0) break;
  }
  bool failed = ferror(file) != 0 || text == NULL || capacity - length < 1;
  fclose(file);
  if (failed) {
    free(text);
    return NULL;
  }
  text[length] = '\0';
  return text;
}

bool DWReadHookTableClasses(const char *path, DWClassList *classes, char *reason, size_t reasonSize) {
  classes->names = NULL;
  classes->count = 0;
  char *text = ReadWhole(path);
  if (text == NULL) {
    snprintf(reason, reasonSize, "%s: cannot be read", path);
    return false;
  }
  const char *table = strstr(text, "hookTable[] = {");
  const char *end = table != NULL ? strstr(table, "};") : NULL;
  bool ok = table != NULL && end != NULL;
  for (const char *row = ok ? strstr(table, "DW_HOOK(") : NULL; ok && row != NULL && row < end;
       row = strstr(row, "DW_HOOK(")) {
    row += strlen("DW_HOOK(");
    size_t length = 0;
    while (isalnum((unsigned char)row[length]) || row[length] == '_') ++length;
    char *name = strndup(row, length);
    char **grown = name != NULL ? realloc(classes->names, (classes->count + 1) * sizeof *grown) : NULL;
    ok = grown != NULL && length > 0;
    if (grown != NULL) classes->names = grown;
    if (ok && !DWClassListHas(classes, name)) {
      classes->names[classes->count++] = name;
    } else {
      free(name);
    }
  }
  free(text);
  if (!ok || classes->count == 0) {
    snprintf(reason, reasonSize, "%s: no rows of hookTable[] = { DW_HOOK(Class, ...), ... } found", path);
    DWFreeClassList(classes);
    return false;
  }
  return true;
}

void DWFreeClassList(DWClassList *classes) {
  for (size_t i = 0; i < classes->count; ++i) free(classes->names[i]);
  free(classes->names);
  classes->names = NULL;
  classes->count = 0;
}

size_t DWPickFilterClasses(const DWClassList *classes, const char **picked, size_t capacity) {
  size_t count = 0;
  for (size_t p = 0; p < kHostPrefixCount && count < capacity; ++p) {
    for (size_t i = 0; i < classes->count; ++i) {
      if (HostPrefix(classes->names[i]) == kHostPrefixes[p]) {
        picked[count++] = classes->names[i];
        break;
      }
    }
  }
  return count;
}
