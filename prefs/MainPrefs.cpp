#include "MainPrefs.h"

#include "../platform/Pool.h"

namespace dw {

namespace {

id ReadMainPrefs() {
  return Send<id>(ClassRef("NSDictionary"), Sel("dictionaryWithContentsOfFile:"), MainPrefsPath());
}

}  // namespace

bool ReadsTrue(id value) {
  if (!Send<BOOL>(value, Sel("respondsToSelector:"), Sel("boolValue"))) return false;
  return Send<BOOL>(value, Sel("boolValue"));
}

id ReadPrefColor(id key, id fallback) {
  LocalPool pool;
  id value = Send<id>(ReadMainPrefs(), Sel("objectForKey:"), key);
  if (!Send<BOOL>(value, Sel("isKindOfClass:"), ClassRef("NSString"))) value = nullptr;
  return Retain(LCPParseColorString(value, fallback));
}

}  // namespace dw

extern "C" BOOL GetPrefBool(id key) {
  using namespace dw;
  LocalPool pool;  // the dictionary of this read ends with it
  return ReadsTrue(Send<id>(ReadMainPrefs(), Sel("valueForKey:"), key));
}
