// The few Objective-C classes and methods the colour category uses, declared here so that the
// category compiles without any SDK or Foundation headers. Nothing here defines a class.
#pragma once

#include "Platform.h"

@interface NSObject
- (void)release;
@end

@interface NSString : NSObject
- (NSString *)stringByReplacingOccurrencesOfString:(NSString *)target withString:(NSString *)replacement;
@end

@interface NSCharacterSet : NSObject
+ (NSCharacterSet *)symbolCharacterSet;
@end

@interface NSScanner : NSObject
+ (NSScanner *)scannerWithString:(NSString *)string;
- (void)setCharactersToBeSkipped:(NSCharacterSet *)set;
- (BOOL)scanHexInt:(unsigned int *)result;
@end

@interface UIColor : NSObject
- (UIColor *)initWithRed:(dw::CGFloat)red green:(dw::CGFloat)green blue:(dw::CGFloat)blue alpha:(dw::CGFloat)alpha;
- (BOOL)getRed:(dw::CGFloat *)red green:(dw::CGFloat *)green blue:(dw::CGFloat *)blue alpha:(dw::CGFloat *)alpha;
@end
