// What the test run noted before the library was loaded.
#pragma once

#import <Foundation/Foundation.h>

// The class whose own implementation answered row `row`'s selector before loading.
NSString *OwnerBeforeLoading(unsigned row);
