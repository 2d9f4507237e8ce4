#import "DispatchTable.h"

void DWInstallDispatchTable(Class cls) {
  // Any lookup sets the table up (and sends +initialize, as a first message would).
  (void)class_getMethodImplementation(cls, sel_registerName("release"));
}
