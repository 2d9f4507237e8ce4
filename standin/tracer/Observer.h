// Watches the library from outside: the runtime entry points, the hooking library and the colour
// picker that the library calls through its own imports are interposed here, and only calls whose
// return address lies in the library are written to the trace.
#pragma once

#include <string>

namespace dw::trace {

// The library about to be loaded. While `traceInstallation` is set, its constructor's class lookups
// and hook installations are written too.
void ObserveLibrary(const std::string &path, bool traceInstallation);
// After loading: from now on the library's messages are written.
void LibraryLoaded();

}  // namespace dw::trace
