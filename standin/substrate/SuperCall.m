#import "SuperCall.h"

#import "../foundation/MethodClosure.h"

#include <stdlib.h>

typedef struct {
  Class superclass;
  SEL selector;
} SuperCallTarget;

static void CallSuper(ffi_cif *cif, void *result, void **arguments, void *data) {
  const SuperCallTarget *target = data;
  IMP implementation = class_getMethodImplementation(target->superclass, target->selector);
  DWMethodClosureForward(cif, implementation, *(id *)arguments[0], result, arguments);
}

IMP DWSuperCall(Class superclass, SEL selector, Method method) {
  SuperCallTarget *target = malloc(sizeof *target);
  if (target == NULL) return NULL;
  target->superclass = superclass;
  target->selector = selector;
  IMP call = DWMethodClosure(method, CallSuper, target);
  if (call == NULL) free(target);
  return call;
}
