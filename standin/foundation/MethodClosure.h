// Functions made at run time with a method's own signature, for the stand-in device's parts that
// stand between a caller and an implementation found later (a placeholder's initialisers, the
// hooking library's call through to a superclass): libffi hands the body every argument as the
// caller passed it, and the body can pass them all on with DWMethodClosureForward.
#pragma once

#include <ffi.h>
#include <objc/runtime.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*DWMethodClosureBody)(ffi_cif *cif, void *result, void **arguments, void *data);

// A function of `method`'s signature (of `- (void)selector` when `method` is NULL) that runs `body`
// with `data`. NULL for a signature with a structure, union, array or long double. Lives as long as
// the process.
IMP DWMethodClosure(Method method, DWMethodClosureBody body, void *data);

// Inside a body: calls `implementation` with the closure's arguments, `receiver` in place of the
// first, and leaves its result in `result`.
void DWMethodClosureForward(ffi_cif *cif, IMP implementation, id receiver, void *result, void **arguments);

#ifdef __cplusplus
}
#endif
