// duskwell-loader-filter: writes the package's loader filter from the hook table, and checks a
// filter as the hooking platform's loader would read it.
//
//   duskwell-loader-filter write --hooks TWEAK.cpp [--bundle-id ID] OUT.plist
//   duskwell-loader-filter check --hooks TWEAK.cpp [--bundle-id ID] FILTER.plist
//
// `write` names the host's own classes (and, with --bundle-id, its bundle as well, either sufficing).
// `check` exits 1 unless the filter is valid, loads the library into the host app and keeps it out of
// an app that has only UIKit's classes.
#include "HookTableClasses.h"
#include "LoaderFilter.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kMostFilterClasses = 3 };

typedef struct Arguments {
  const char *command, *hooks, *bundleIdentifier, *file;
} Arguments;

static int Usage(const char *problem) {
  fprintf(stderr,
          "duskwell-loader-filter: %s\n"
          "usage: duskwell-loader-filter write|check --hooks TWEAK.cpp [--bundle-id ID] FILE.plist\n",
          problem);
  return 2;
}

static bool Parse(int argc, char **argv, Arguments *arguments) {
  memset(arguments, 0, sizeof *arguments);
  if (argc < 2) return false;
  arguments->command = argv[1];
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--hooks") == 0 && i + 1 < argc) {
      arguments->hooks = argv[++i];
    } else if (strcmp(argv[i], "--bundle-id") == 0 && i + 1 < argc) {
      arguments->bundleIdentifier = argv[++i];
    } else if (argv[i][0] != '-' && arguments->file == NULL) {
      arguments->file = argv[i];
    } else {
      return false;
    }
  }
  return arguments->hooks != NULL && arguments->file != NULL &&
         (strcmp(arguments->command, "write") == 0 || strcmp(arguments->command, "check") == 0);
}

static int Write(const Arguments *arguments, const DWClassList *classes) {
  const char *picked[kMostFilterClasses];
  size_t count = DWPickFilterClasses(classes, picked, kMostFilterClasses);
  if (count < 2) {
    fprintf(stderr, "duskwell-loader-filter: %s: the hook table names fewer than two of the host's own classes; "
                    "the filter needs them to find the host app\n", arguments->hooks);
    return 1;
  }
  plist_t names = plist_new_array();
  for (size_t i = 0; i < count; ++i) plist_array_append_item(names, plist_new_string(picked[i]));
  plist_t filter = plist_new_dict();
  plist_dict_set_item(filter, "Classes", names);
  if (arguments->bundleIdentifier != NULL) {
    plist_t bundles = plist_new_array();
    plist_array_append_item(bundles, plist_new_string(arguments->bundleIdentifier));
    plist_dict_set_item(filter, "Bundles", bundles);
    plist_dict_set_item(filter, "Mode", plist_new_string("Any"));
  }
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "Filter", filter);
  char *xml = NULL;
  uint32_t length = 0;
  plist_to_xml(root, &xml, &length);
  plist_free(root);

  // Written beside the target and renamed, so that no reader sees half a filter.
  size_t pathSize = strlen(arguments->file) + sizeof ".partial";
  char *partial = malloc(pathSize);
  if (partial != NULL) snprintf(partial, pathSize, "%s.partial", arguments->file);
  FILE *out = partial != NULL ? fopen(partial, "wb") : NULL;
  bool written = out != NULL && xml != NULL && fwrite(xml, 1, length, out) == length;
  if (out != NULL && fclose(out) != 0) written = false;
  if (written && rename(partial, arguments->file) != 0) written = false;
  if (!written && out != NULL) remove(partial);
  free(partial);
  plist_to_xml_free(xml);
  if (!written) {
    fprintf(stderr, "duskwell-loader-filter: %s: cannot be written\n", arguments->file);
    return 1;
  }
  return 0;
}

// The host app: every class of the hook table (all of them live in the host or in UIKit).
static bool InHost(const char *name, void *classes) { return DWClassListHas(classes, name); }

// Any other app: any class but the host's own may be there.
static bool InOtherApp(const char *name, void *unused) {
  (void)unused;
  return !DWIsHostOnlyClass(name);
}

static int Check(const Arguments *arguments, DWClassList *classes) {
  const char *file = arguments->file;
  DWProcess host = {arguments->bundleIdentifier, NULL, kDWOldestCoreFoundationVersion, InHost, classes};
  DWProcess other = {"com.example.another-app", NULL, kDWOldestCoreFoundationVersion, InOtherApp, NULL};
  DWFilterDecision inHost = DWFilterDecideFile(file, &host);
  if (inHost.verdict == DWFilterInvalid) {
    fprintf(stderr, "duskwell-loader-filter: %s: invalid, the loader would load the library nowhere: %s\n", file,
            inHost.reason);
    return 1;
  }
  if (inHost.verdict != DWFilterLoads) {
    fprintf(stderr, "duskwell-loader-filter: %s: would never load the library into the host app (%s)%s\n", file,
            inHost.reason, arguments->bundleIdentifier == NULL ? "; no host bundle id was given" : "");
    return 1;
  }
  DWFilterDecision inOther = DWFilterDecideFile(file, &other);
  if (inOther.verdict != DWFilterSkips) {
    fprintf(stderr, "duskwell-loader-filter: %s: would load the library into apps other than the host (%s)\n", file,
            inOther.reason);
    return 1;
  }
  printf("%s: loads into the host app (%s), not into an app with only UIKit's classes\n", file, inHost.reason);
  return 0;
}

int main(int argc, char **argv) {
  Arguments arguments;
  if (!Parse(argc, argv, &arguments)) return Usage("bad arguments");
  DWClassList classes;
  char reason[1024];
  if (!DWReadHookTableClasses(arguments.hooks, &classes, reason, sizeof reason)) {
    fprintf(stderr, "duskwell-loader-filter: %s\n", reason);
    return 1;
  }
  int status = strcmp(arguments.command, "write") == 0 ? Write(&arguments, &classes) : Check(&arguments, &classes);
  DWFreeClassList(&classes);
  return status;
}
