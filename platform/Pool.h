// A local autorelease pool: what the code inside it autoreleases is released when it ends, so the
// dictionaries, strings and colours of one read live no longer than that read.
//
// Two rules for every use. A pool of ours never encloses a call through a slot or a message to a
// host object: what the host autoreleases belongs to the host's pool and must not be released early.
// And an object that leaves the pool (a colour handed to the host, a result) is retained inside it.
#pragma once

#include "Platform.h"

#if defined(__APPLE__)
#include "apple/Pool.h"
#else
#include "gnu/Pool.h"
#endif

namespace dw {

class LocalPool {
 public:
  LocalPool() : token_(PushAutoreleasePool()) {}
  ~LocalPool() { PopAutoreleasePool(token_); }
  LocalPool(const LocalPool &) = delete;
  LocalPool &operator=(const LocalPool &) = delete;

 private:
  void *token_;
};

// An object the caller owns (+1), to outlive the pool it was made in.
static inline id Retain(id object) { return Send<id>(object, DW_SEL("retain")); }
// Hands an owned object to the caller's pool: the form a getter's result takes.
static inline id Autorelease(id object) { return Send<id>(object, DW_SEL("autorelease")); }

// An object owned (+1) for as long as this lives, then released: a colour made inside a pool and
// handed to the host after it.
class Owned {
 public:
  explicit Owned(id object) : object_(object) {}
  ~Owned() { Release(object_); }
  Owned(const Owned &) = delete;
  Owned &operator=(const Owned &) = delete;
  id get() const { return object_; }

 private:
  id object_;
};

}  // namespace dw
