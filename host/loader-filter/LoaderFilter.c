// The filter's rules. A file is checked whole before any condition is evaluated, so whether it is
// valid never depends on the process. The conditions:
//   Bundles, Executables: the process's bundle identifier / executable name is one of the strings;
//   Classes: any one of the named classes exists in the process;
//   CoreFoundationVersion: ( min ) or ( min, max ): min <= version < max.
// Without Mode every condition given must hold; with Mode = "Any" one suffices. A filter that gives
// no condition restricts nothing (every process), unless Mode = "Any" asks for one that holds.
#include "LoaderFilter.h"

#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kBundles, kExecutables, kCoreFoundationVersion, kClasses, kConditionCount };
static const char *const kConditionKeys[kConditionCount] = {"Bundles", "Executables", "CoreFoundationVersion",
                                                            "Classes"};
static const char kModeKey[] = "Mode";

static DWFilterDecision Decision(DWFilterVerdict verdict, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
static DWFilterDecision Decision(DWFilterVerdict verdict, const char *format, ...) {
  DWFilterDecision decision;
  decision.verdict = verdict;
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(decision.reason, sizeof decision.reason, format, arguments);
  va_end(arguments);
  return decision;
}

static void Append(char *text, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
static void Append(char *text, size_t size, const char *format, ...) {
  size_t used = strlen(text);
  if (used + 1 >= size) return;
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(text + used, size - used, format, arguments);
  va_end(arguments);
}

static bool IsNumber(plist_t node) {
  plist_type type = plist_get_node_type(node);
  return type == PLIST_REAL || type == PLIST_UINT;
}

static double NumberValue(plist_t node) {
  if (plist_get_node_type(node) == PLIST_REAL) {
    double value = 0;
    plist_get_real_val(node, &value);
    return value;
  }
  uint64_t value = 0;
  plist_get_uint_val(node, &value);
  return (double)value;
}

static bool IsArrayOfStrings(plist_t node) {
  if (plist_get_node_type(node) != PLIST_ARRAY) return false;
  for (uint32_t i = 0; i < plist_array_get_size(node); ++i) {
    if (plist_get_node_type(plist_array_get_item(node, i)) != PLIST_STRING) return false;
  }
  return true;
}

static const char *StringAt(plist_t array, uint32_t index) {
  return plist_get_string_ptr(plist_array_get_item(array, index), NULL);
}

// NULL when the filter is valid, else why not (in `reason`).
static const char *Invalidity(plist_t filter, char *reason, size_t size) {
  plist_dict_iter iterator = NULL;
  plist_dict_new_iter(filter, &iterator);
  const char *result = NULL;
  for (;;) {
    char *key = NULL;
    plist_t value = NULL;
    plist_dict_next_item(filter, iterator, &key, &value);
    if (key == NULL) break;
    int condition = -1;
    for (int i = 0; i < kConditionCount; ++i) {
      if (strcmp(key, kConditionKeys[i]) == 0) condition = i;
    }
    if (condition == kCoreFoundationVersion) {
      uint32_t count = plist_get_node_type(value) == PLIST_ARRAY ? plist_array_get_size(value) : 0;
      bool numbers = count == 1 || count == 2;
      for (uint32_t i = 0; numbers && i < count; ++i) numbers = IsNumber(plist_array_get_item(value, i));
      if (!numbers) snprintf(reason, size, "Filter's CoreFoundationVersion is not an array of one or two numbers");
    } else if (condition >= 0) {
      if (!IsArrayOfStrings(value)) snprintf(reason, size, "Filter's %s is not an array of strings", key);
    } else if (strcmp(key, kModeKey) == 0) {
      const char *mode = plist_get_node_type(value) == PLIST_STRING ? plist_get_string_ptr(value, NULL) : NULL;
      if (mode == NULL || strcmp(mode, "Any") != 0) snprintf(reason, size, "Filter's Mode is not the string \"Any\"");
    } else {
      snprintf(reason, size,
               "Filter has the key \"%s\"; a filter holds only Bundles, Classes, Executables, "
               "CoreFoundationVersion and Mode",
               key);
    }
    free(key);
    if (reason[0] != '\0') {
      result = reason;
      break;
    }
  }
  free(iterator);
  return result;
}

// Whether the condition holds for the process; `how` says what was found or missed.
static bool Holds(int condition, plist_t value, const DWProcess *process, char *how, size_t size) {
  how[0] = '\0';
  if (condition == kCoreFoundationVersion) {
    double minimum = NumberValue(plist_array_get_item(value, 0));
    bool bounded = plist_array_get_size(value) == 2;
    double maximum = bounded ? NumberValue(plist_array_get_item(value, 1)) : 0;
    bool holds = process->coreFoundationVersion >= minimum && (!bounded || process->coreFoundationVersion < maximum);
    snprintf(how, size, "CoreFoundationVersion: %.2f is %s %.2f", process->coreFoundationVersion,
             holds ? "from" : "not from", minimum);
    if (bounded) Append(how, size, " up to %.2f", maximum);
    return holds;
  }
  const char *own = condition == kBundles ? process->bundleIdentifier : process->executableName;
  uint32_t count = plist_array_get_size(value);
  for (uint32_t i = 0; i < count; ++i) {
    const char *name = StringAt(value, i);
    bool found = condition == kClasses ? process->classExists(name, process->context)
                                       : own != NULL && strcmp(own, name) == 0;
    if (found) {
      snprintf(how, size, "%s: %s %s", kConditionKeys[condition], condition == kClasses ? "the class" : "it is", name);
      if (condition == kClasses) Append(how, size, " exists");
      return true;
    }
  }
  snprintf(how, size, "%s: %s", kConditionKeys[condition],
           condition == kClasses ? "none of the classes" : "the process is none of");
  for (uint32_t i = 0; i < count; ++i) Append(how, size, "%s %s", i == 0 ? "" : ",", StringAt(value, i));
  if (count == 0) Append(how, size, " (an empty list)");
  if (condition == kClasses) Append(how, size, " exists");
  return false;
}

DWFilterDecision DWFilterDecide(plist_t file, const DWProcess *process) {
  if (file == NULL) return Decision(DWFilterInvalid, "not a property list");
  if (plist_get_node_type(file) != PLIST_DICT) return Decision(DWFilterInvalid, "the file holds no dictionary");
  plist_t filter = plist_dict_get_item(file, "Filter");
  if (filter == NULL) return Decision(DWFilterLoads, "no Filter: nothing restricts the library to some processes");
  if (plist_get_node_type(filter) != PLIST_DICT) return Decision(DWFilterInvalid, "Filter is not a dictionary");
  char invalid[sizeof ((DWFilterDecision *)0)->reason] = "";
  if (Invalidity(filter, invalid, sizeof invalid) != NULL) return Decision(DWFilterInvalid, "%s", invalid);

  const bool any = plist_dict_get_item(filter, kModeKey) != NULL;
  char missed[sizeof invalid] = "", held[sizeof invalid] = "";
  int given = 0;
  for (int condition = 0; condition < kConditionCount; ++condition) {
    plist_t value = plist_dict_get_item(filter, kConditionKeys[condition]);
    if (value == NULL) continue;
    ++given;
    char how[sizeof invalid];
    bool holds = Holds(condition, value, process, how, sizeof how);
    if (holds && any) return Decision(DWFilterLoads, "%s; with Mode Any one condition suffices", how);
    if (!holds && !any) return Decision(DWFilterSkips, "%s", how);
    char *list = holds ? held : missed;
    Append(list, sizeof held, "%s%s", list[0] == '\0' ? "" : "; ", how);
  }
  if (given == 0) {
    return any ? Decision(DWFilterSkips, "Mode Any with no condition: none can hold")
               : Decision(DWFilterLoads, "an empty Filter: nothing restricts the library to some processes");
  }
  return any ? Decision(DWFilterSkips, "no condition holds: %s", missed)
             : Decision(DWFilterLoads, "%s", held);
}

plist_t DWFilterReadFile(const char *path, char *reason, size_t reasonSize) {
  FILE *file = fopen(path, "rb");
  if (file == NULL) {
    snprintf(reason, reasonSize, "cannot be read (%s)", strerror(errno));
    return NULL;
  }
  char *bytes = NULL;
  size_t length = 0, capacity = 0;
  bool failed = false;
  while (!failed) {
    if (length == capacity) {
      size_t grownCapacity = capacity == 0 ? 4096 : capacity * 2;
      char *grown = grownCapacity <= (size_t)UINT32_MAX + 1 ? realloc(bytes, grownCapacity) : NULL;
      failed = grown == NULL;
      if (failed) break;
      bytes = grown;
      capacity = grownCapacity;
    }
    size_t got = fread(bytes + length, 1, capacity - length, file);
    length += got;
    if (got == 0) break;
  }
  failed = failed || ferror(file) != 0;
  fclose(file);
  plist_t root = NULL;
  if (!failed && length > 0 && length <= UINT32_MAX) plist_from_memory(bytes, (uint32_t)length, &root);
  free(bytes);
  if (root == NULL) snprintf(reason, reasonSize, failed ? "cannot be read" : "not an XML or binary property list");
  return root;
}

DWFilterDecision DWFilterDecideFile(const char *path, const DWProcess *process) {
  char reason[sizeof ((DWFilterDecision *)0)->reason] = "";
  plist_t root = DWFilterReadFile(path, reason, sizeof reason);
  if (root == NULL) return Decision(DWFilterInvalid, "%s", reason);
  DWFilterDecision decision = DWFilterDecide(root, process);
  plist_free(root);
  return decision;
}
