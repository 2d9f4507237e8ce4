// The hooking platform's loader filter: the property list beside a library that says which
// processes the library is loaded into. One evaluator, used by the simulated launcher before it
// loads the library and by the packager's checks.
#pragma once

#include <plist/plist.h>
#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// The CoreFoundation of iOS 9.2, the oldest system the package installs on.
#define kDWOldestCoreFoundationVersion 1242.13

// What the loader knows of the process it decides for.
typedef struct DWProcess {
  const char *bundleIdentifier;  // NULL: the process has no bundle
  const char *executableName;    // NULL: unknown
  double coreFoundationVersion;
  bool (*classExists)(const char *className, void *context);
  void *context;
} DWProcess;

typedef enum DWFilterVerdict {
  DWFilterLoads,    // the library is loaded into the process
  DWFilterSkips,    // the filter is valid and keeps the library out of the process
  DWFilterInvalid,  // the file cannot be used: the library is loaded nowhere
} DWFilterVerdict;

typedef struct DWFilterDecision {
  DWFilterVerdict verdict;
  char reason[512];  // why, in one line, naming the key or condition that decided
} DWFilterDecision;

// Decides for a parsed file (NULL: no property list).
DWFilterDecision DWFilterDecide(plist_t file, const DWProcess *process);

// Reads `path` (XML or binary property list) and decides; an unreadable file is invalid.
DWFilterDecision DWFilterDecideFile(const char *path, const DWProcess *process);

// Reads a whole property list file; NULL with `reason` set when it cannot be read or parsed.
plist_t DWFilterReadFile(const char *path, char *reason, size_t reasonSize);

#ifdef __cplusplus
}
#endif
