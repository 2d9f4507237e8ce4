#import "DispatchTable.h"

void DWInstallDispatchTable(Class cls) {
  // Any lookup sets the table up (and sends +initialize, as a first message would).
  (void)class_getMethodImplementation(cls, sel_registerName("release"));
}

// The GNU runtime's refresh of a class's dispatch table and those of all its subclasses.
void __objc_update_dispatch_table_for_class(Class cls);

IMP DWReplaceImplementation(Class cls, Method method, IMP implementation) {
  DWInstallDispatchTable(cls);  // before the change: see DispatchTable.h
  IMP old = method_setImplementation(method, implementation);
  __objc_update_dispatch_table_for_class(cls);
  return old;
}
