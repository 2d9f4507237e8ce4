// Autorelease pools on GNUstep: the GNU runtime has no pool functions of its own, so a pool is a
// Foundation NSAutoreleasePool, made and released on the calling thread.
#pragma once

namespace dw {

inline void *PushAutoreleasePool() {
  return Send<id>(Send<id>(ClassRef("NSAutoreleasePool"), Sel("alloc")), Sel("init"));
}

inline void PopAutoreleasePool(void *pool) { Send<void>(static_cast<id>(pool), Sel("release")); }

}  // namespace dw
