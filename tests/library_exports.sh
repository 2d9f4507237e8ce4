#!/usr/bin/env bash
# The library exports GetPrefBool alone, has one initialiser of its own besides the runtime's
# category registration, and needs no C++ runtime.
set -euo pipefail
library=$1
exports=$(nm -D --defined-only "$library" | awk '{print $3}')
if [ "$exports" != "GetPrefBool" ]; then
  echo "FAIL: $library exports: $exports" >&2
  exit 1
fi
if readelf -d "$library" | grep -E 'NEEDED.*(stdc\+\+|libc\+\+)'; then
  echo "FAIL: $library needs a C++ runtime" >&2
  exit 1
fi
if nm -D --undefined-only "$library" | grep -E ' U (_Z|__cxa_|__gxx_)'; then
  echo "FAIL: $library imports C++ runtime symbols" >&2
  exit 1
fi
echo "1 passed, 0 failed"
