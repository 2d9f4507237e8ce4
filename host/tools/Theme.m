#import "Commands.h"
int DWRunTheme(NSArray *arguments) { (void)arguments; DWPrintError(@"theme: not built yet"); return 2; }
