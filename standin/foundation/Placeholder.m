#define _GNU_SOURCE 1  // dladdr
#import "Placeholder.h"

#import "DispatchTable.h"
#import "MethodClosure.h"

#include <dlfcn.h>
#include <objc/runtime.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void __objc_update_dispatch_table_for_class(Class cls);

// Both kinds of placeholder have this layout; each cluster gets one class of each kind, made at its
// first alloc, whose methods are added as messages first arrive (+resolveInstanceMethod:).
__attribute__((objc_root_class))
@interface DWPlaceholder {
  Class isa;
 @public
  Class cluster;
}
@end

__attribute__((objc_root_class))
@interface DWSpentPlaceholder {
  Class isa;
 @public
  Class cluster;
}
@end

typedef struct {
  Class cluster, live, spent;
} PlaceholderClasses;

enum { kMaxClusters = 16, kQuarantine = 4096 };

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static PlaceholderClasses clusters[kMaxClusters];
static int clusterCount;
// Spent placeholders are kept a while, so that a message to one raises; the oldest are freed.
static id quarantine[kQuarantine];
static unsigned quarantineNext;

static PlaceholderClasses *ClassesOf(Class cluster) {
  for (int i = 0; i < clusterCount; ++i) {
    if (clusters[i].cluster == cluster) return &clusters[i];
  }
  return NULL;
}

static PlaceholderClasses *ClassesOfPlaceholderClass(Class cls) {
  for (int i = 0; i < clusterCount; ++i) {
    if (clusters[i].live == cls || clusters[i].spent == cls) return &clusters[i];
  }
  return NULL;
}

// The two root classes, named rather than messaged: they answer no +class.
static Class LiveRoot(void) { return objc_getClass("DWPlaceholder"); }
static Class SpentRoot(void) { return objc_getClass("DWSpentPlaceholder"); }

static PlaceholderClasses *MakeClasses(Class cluster) {
  if (clusterCount == kMaxClusters) return NULL;
  char name[256];
  snprintf(name, sizeof name, "DWPlaceholder_%s", class_getName(cluster));
  Class live = objc_allocateClassPair(LiveRoot(), name, 0);
  snprintf(name, sizeof name, "DWSpentPlaceholder_%s", class_getName(cluster));
  Class spent = objc_allocateClassPair(SpentRoot(), name, 0);
  if (live == Nil || spent == Nil) return NULL;
  objc_registerClassPair(live);
  objc_registerClassPair(spent);
  clusters[clusterCount] = (PlaceholderClasses){cluster, live, spent};
  return &clusters[clusterCount++];
}

id DWPlaceholderFor(Class cluster) {
  pthread_mutex_lock(&lock);
  PlaceholderClasses *classes = ClassesOf(cluster);
  if (classes == NULL) classes = MakeClasses(cluster);
  pthread_mutex_unlock(&lock);
  if (classes == NULL) {
    fprintf(stderr, "stand-in device: no placeholder class could be made for %s\n", class_getName(cluster));
    abort();
  }
  // Each class's dispatch table is set up before its first message: until then the GNU runtime
  // answers lookups from the table shared by every class not yet messaged (see DispatchTable.h).
  DWInstallDispatchTable(classes->live);
  DWInstallDispatchTable(classes->spent);
  DWPlaceholder *placeholder = (DWPlaceholder *)class_createInstance(classes->live, 0);
  placeholder->cluster = cluster;
  return placeholder;
}

static BOOL IsPlaceholderClass(Class cls) {
  for (Class c = cls; c != Nil; c = class_getSuperclass(c)) {
    if (c == LiveRoot() || c == SpentRoot()) return YES;
  }
  return NO;
}

NSString *DWPlaceholderTraceValue(id object) {
  if (object == nil || !IsPlaceholderClass(object_getClass(object))) return nil;
  return [NSString stringWithFormat:@"%s(placeholder)", class_getName(((DWPlaceholder *)object)->cluster)];
}

static void Spend(id placeholder) {
  pthread_mutex_lock(&lock);
  PlaceholderClasses *classes = ClassesOf(((DWPlaceholder *)placeholder)->cluster);
  object_setClass(placeholder, classes->spent);
  id oldest = quarantine[quarantineNext];
  quarantine[quarantineNext] = placeholder;
  quarantineNext = (quarantineNext + 1) % kQuarantine;
  pthread_mutex_unlock(&lock);
  if (oldest != nil) object_dispose(oldest);
}

// Cocoa's init family: "init" alone or followed by a capital.
static BOOL IsInitializer(SEL selector) {
  const char *name = sel_getName(selector);
  return strncmp(name, "init", 4) == 0 && (name[4] == '\0' || (name[4] >= 'A' && name[4] <= 'Z'));
}

static const void *ImageOf(IMP implementation) {
  Dl_info info;
  void *address;
  memcpy(&address, &implementation, sizeof address);
  return dladdr(address, &info) != 0 ? info.dli_fbase : NULL;
}

// Code of the stand-in device: Foundation's image (where NSObject's init is), this one (the fix-ups
// of Foundation), and the one whose +alloc gives the cluster its placeholder (UIKit's for UIColor).
static BOOL IsDeviceCode(IMP implementation, Class cluster) {
  const void *image = ImageOf(implementation);
  if (image == NULL) return NO;
  const IMP device[] = {
      class_getMethodImplementation(objc_getClass("NSObject"), @selector(init)),
      (IMP)(void (*)(void))IsDeviceCode,
      class_getMethodImplementation(object_getClass(cluster), @selector(alloc)),
  };
  for (size_t i = 0; i < sizeof device / sizeof device[0]; ++i) {
    if (ImageOf(device[i]) == image) return YES;
  }
  return NO;
}

static void MakeRealObject(ffi_cif *cif, void *result, void **arguments, void *data) {
  const SEL selector = data;
  DWPlaceholder *placeholder = *(DWPlaceholder **)arguments[0];
  id real = [placeholder->cluster allocWithZone:NSDefaultMallocZone()];
  DWMethodClosureForward(cif, class_getMethodImplementation(object_getClass(real), selector), real, result, arguments);
  Spend(placeholder);
}

static void RaiseForLive(ffi_cif *cif, void *result, void **arguments, void *data) {
  (void)cif, (void)result;
  const SEL selector = data;
  DWPlaceholder *placeholder = *(DWPlaceholder **)arguments[0];
  const char *cluster = class_getName(placeholder->cluster);
  [NSException raise:NSInvalidArgumentException
              format:@"-[%s(placeholder) %s]: a message to the placeholder that +[%s alloc] answered; only an "
                     @"init… message or release may follow alloc",
                     cluster, sel_getName(selector), cluster];
}

static void RaiseForSpent(ffi_cif *cif, void *result, void **arguments, void *data) {
  (void)cif, (void)result;
  const SEL selector = data;
  DWPlaceholder *placeholder = *(DWPlaceholder **)arguments[0];
  const char *cluster = class_getName(placeholder->cluster);
  [NSException raise:NSInvalidArgumentException
              format:@"-[%s(placeholder) %s]: a message to the placeholder that +[%s alloc] answered, after its "
                     @"initialiser answered another object or it was released; use what init… returned",
                     cluster, sel_getName(selector), cluster];
}

// NSDictionary's one variadic initialiser, which libffi cannot pass on: its pairs are gathered here.
static id InitWithObjectsAndKeys(id self, SEL _cmd, id firstObject, ...) {
  (void)_cmd;
  NSMutableArray *objects = [NSMutableArray array], *keys = [NSMutableArray array];
  va_list pairs;
  va_start(pairs, firstObject);
  for (id object = firstObject; object != nil; object = va_arg(pairs, id)) {
    [objects addObject:object];
    [keys addObject:va_arg(pairs, id)];
  }
  va_end(pairs);
  id real = [((DWPlaceholder *)self)->cluster allocWithZone:NSDefaultMallocZone()];
  Spend(self);
  return [real initWithObjects:objects forKeys:keys];
}

static BOOL AddMethod(Class placeholderClass, SEL selector, Method method, DWMethodClosureBody body) {
  IMP implementation = DWMethodClosure(method, body, (void *)selector);
  // A signature libffi cannot take still raises, read as one without arguments.
  if (implementation == NULL) method = NULL, implementation = DWMethodClosure(NULL, body, (void *)selector);
  return implementation != NULL &&
         class_addMethod(placeholderClass, selector, implementation, method != NULL ? method_getTypeEncoding(method) : "v@:");
}

static Class ClusterOf(Class placeholderClass) {
  pthread_mutex_lock(&lock);
  PlaceholderClasses *classes = ClassesOfPlaceholderClass(placeholderClass);
  pthread_mutex_unlock(&lock);
  return classes != NULL ? classes->cluster : Nil;
}

@implementation DWPlaceholder
+ (BOOL)resolveInstanceMethod:(SEL)selector {
  const Class cluster = ClusterOf(self);
  if (cluster == Nil) return NO;
  Method method = class_getInstanceMethod(cluster, selector);
  if (method == NULL || !IsInitializer(selector)) return AddMethod(self, selector, method, RaiseForLive);
  IMP implementation = method_getImplementation(method);
  if (sel_isEqual(selector, @selector(initWithObjectsAndKeys:))) {
    return class_addMethod(self, selector, (IMP)(void (*)(void))InitWithObjectsAndKeys, method_getTypeEncoding(method));
  }
  if (IsDeviceCode(implementation, cluster)) return AddMethod(self, selector, method, MakeRealObject);
  return class_addMethod(self, selector, implementation, method_getTypeEncoding(method));
}
- (void)release {
  Spend(self);
}
@end

@implementation DWSpentPlaceholder
+ (BOOL)resolveInstanceMethod:(SEL)selector {
  const Class cluster = ClusterOf(self);
  if (cluster == Nil) return NO;
  return AddMethod(self, selector, class_getInstanceMethod(cluster, selector), RaiseForSpent);
}
@end

static Class dictionaryClass;

static id DictionaryAlloc(Class self, SEL _cmd) {
  (void)_cmd;
  if (self == dictionaryClass) return DWPlaceholderFor(self);
  return [self allocWithZone:NSDefaultMallocZone()];
}

void DWDeviceInstallDictionaryPlaceholder(void) {
  dictionaryClass = [NSDictionary class];
  Class meta = object_getClass(dictionaryClass);
  if (!class_addMethod(meta, @selector(alloc), (IMP)DictionaryAlloc, "@@:")) {
    method_setImplementation(class_getClassMethod(dictionaryClass, @selector(alloc)), (IMP)DictionaryAlloc);
  }
  __objc_update_dispatch_table_for_class(meta);
}
