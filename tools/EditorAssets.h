// The editor page's files (tools/editor/), compiled into duskwell-sim by cmake/EmbedAssets.cmake, so
// that the page works offline and always matches the server that serves it.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  const char *path;         // "/editor.js"; the page itself is "/"
  const char *contentType;
  const unsigned char *bytes;
  size_t length;
} DWEditorAsset;

extern const DWEditorAsset DWEditorAssets[];
extern const size_t DWEditorAssetCount;

#ifdef __cplusplus
}
#endif
