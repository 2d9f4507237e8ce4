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

#ifdef __cplusplus
}
#endif
