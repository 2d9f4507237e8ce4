// Class clusters as the device has them: +alloc of a cluster's public class (UIColor, NSDictionary)
// answers a placeholder, and its initialiser answers another object, the real one. A placeholder
// takes an init… message or release and nothing else; once an initialiser has answered, or it was
// released, it is spent and every message to it raises. An init… method that the device's own code
// implements (the stand-in's UIKit and Foundation) makes the real object; one that other code adds to
// the cluster in a category (the library's -[UIColor initWithHex:]) runs on the placeholder itself,
// which inherits it on the device too.
#pragma once

#import <Foundation/Foundation.h>

#ifdef __cplusplus
extern "C" {
#endif

// A new placeholder standing for `cluster`.
id DWPlaceholderFor(Class cluster);
// "CLUSTER(placeholder)" for a placeholder, live or spent; nil for anything else. Sends no message.
NSString *DWPlaceholderTraceValue(id object);
// Gives +[NSDictionary alloc] its placeholder (subclasses allocate as before). Part of
// DWDeviceInstallFoundation.
void DWDeviceInstallDictionaryPlaceholder(void);

#ifdef __cplusplus
}
#endif
