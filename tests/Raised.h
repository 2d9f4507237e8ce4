// Whether a message raises, asked from Objective-C: a GNU Objective-C exception crashes the C++
// unwinder when it meets C++ frames on its way to an @catch, so the catching happens here.
#pragma once

#import <Foundation/Foundation.h>

#ifdef __cplusplus
extern "C" {
#endif

// "NAME: REASON" of the exception that sending `selector` to `receiver` (with `argument` as its one
// argument, or none) raises; nil when it raises none.
NSString *DWRaisedBySending(id receiver, SEL selector, id argument);

#ifdef __cplusplus
}
#endif
