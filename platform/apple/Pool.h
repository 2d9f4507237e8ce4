// Autorelease pools on the device: the runtime's own push and pop (libobjc, iOS 5 and later).
#pragma once

extern "C" {
void *objc_autoreleasePoolPush(void);
void objc_autoreleasePoolPop(void *token);
}

namespace dw {

inline void *PushAutoreleasePool() { return objc_autoreleasePoolPush(); }
inline void PopAutoreleasePool(void *token) { objc_autoreleasePoolPop(token); }

}  // namespace dw
