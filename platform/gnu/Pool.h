// Autorelease pools on GNUstep: the GNU runtime has no pool functions of its own, so a pool is a
// Foundation NSAutoreleasePool, made and released on the calling thread.
#pragma once

namespace dw {

static inline void *PushAutoreleasePool() {
  return Send<id>(Send<id>(DW_CLASS(NSAutoreleasePool), DW_SEL("alloc")), DW_SEL("init"));
}

static inline void PopAutoreleasePool(void *pool) { Send<void>(static_cast<id>(pool), DW_SEL("release")); }

}  // namespace dw
