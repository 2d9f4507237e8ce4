// The GNU runtime's dispatch tables, as the stand-in device's replacements of implementations need
// them.
#pragma once

#include <objc/runtime.h>

#ifdef __cplusplus
extern "C" {
#endif

// Sets up the class's dispatch table if no message has done so yet. Until then the GNU runtime
// answers the class's lookups from one table shared by every class not yet messaged, and
// method_setImplementation on the class's own method writes into that shared table, so that every
// such class would answer the selector with the new implementation. Call it before replacing an
// implementation on a class that may not have been messaged.
void DWInstallDispatchTable(Class cls);

// Gives `method`, which `cls` defines itself, a new implementation that every later message to the
// class and to each of its subclasses reaches, and returns the one it had. method_setImplementation
// alone updates only the table of the class that owns the method, so subclasses sent messages
// before would keep the old implementation; the device's runtime flushes every method cache instead.
IMP DWReplaceImplementation(Class cls, Method method, IMP implementation);

#ifdef __cplusplus
}
#endif
