#import "Commands.h"
int DWRunDoctor(NSArray *arguments) { (void)arguments; DWPrintError(@"doctor: not built yet"); return 2; }
