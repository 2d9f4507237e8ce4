#import "MethodClosure.h"

#include <stdlib.h>
#include <string.h>

typedef struct {
  ffi_cif cif;
  DWMethodClosureBody body;
  void *data;
  ffi_type *argumentTypes[];
} Closure;

// The libffi type of one Objective-C type encoding (qualifiers first); NULL for what is not passed
// in one register or slot.
static ffi_type *TypeOf(const char *encoding) {
  while (*encoding != '\0' && strchr("rnNoORV", *encoding) != NULL) ++encoding;
  switch (*encoding) {
    case 'v': return &ffi_type_void;
    case '@': case '#': case ':': case '^': case '*': return &ffi_type_pointer;
    case 'c': return &ffi_type_schar;
    case 'C': case 'B': return &ffi_type_uchar;
    case 's': return &ffi_type_sshort;
    case 'S': return &ffi_type_ushort;
    case 'i': return &ffi_type_sint;
    case 'I': return &ffi_type_uint;
    case 'l': return &ffi_type_slong;
    case 'L': return &ffi_type_ulong;
    case 'q': return &ffi_type_sint64;
    case 'Q': return &ffi_type_uint64;
    case 'f': return &ffi_type_float;
    case 'd': return &ffi_type_double;
    default: return NULL;
  }
}

static ffi_type *TypeOfCopy(char *encoding) {
  ffi_type *type = encoding != NULL ? TypeOf(encoding) : NULL;
  free(encoding);
  return type;
}

static void RunBody(ffi_cif *cif, void *result, void **arguments, void *opaque) {
  Closure *closure = opaque;
  closure->body(cif, result, arguments, closure->data);
}

IMP DWMethodClosure(Method method, DWMethodClosureBody body, void *data) {
  const unsigned count = method != NULL ? method_getNumberOfArguments(method) : 2;
  Closure *closure = calloc(1, sizeof(Closure) + count * sizeof(ffi_type *));
  if (closure == NULL) return NULL;
  closure->body = body;
  closure->data = data;
  ffi_type *resultType = method != NULL ? TypeOfCopy(method_copyReturnType(method)) : &ffi_type_void;
  BOOL supported = resultType != NULL;
  for (unsigned i = 0; i < count && supported; ++i) {
    closure->argumentTypes[i] = method != NULL ? TypeOfCopy(method_copyArgumentType(method, i)) : &ffi_type_pointer;
    supported = closure->argumentTypes[i] != NULL;
  }
  void *code = NULL;
  ffi_closure *made = supported ? ffi_closure_alloc(sizeof(ffi_closure), &code) : NULL;
  if (made == NULL || ffi_prep_cif(&closure->cif, FFI_DEFAULT_ABI, count, resultType, closure->argumentTypes) != FFI_OK ||
      ffi_prep_closure_loc(made, &closure->cif, RunBody, closure, code) != FFI_OK) {
    if (made != NULL) ffi_closure_free(made);
    free(closure);
    return NULL;
  }
  IMP function;
  memcpy(&function, &code, sizeof function);
  return function;
}

void DWMethodClosureForward(ffi_cif *cif, IMP implementation, id receiver, void *result, void **arguments) {
  void *saved = arguments[0];
  arguments[0] = &receiver;
  ffi_call(cif, FFI_FN(implementation), result, arguments);
  arguments[0] = saved;
}
