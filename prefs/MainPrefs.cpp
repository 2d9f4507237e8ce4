#include "MainPrefs.h"

#include "../platform/Pool.h"

namespace dw {

namespace {

id ReadMainPrefs() {
  return Send<id>(DW_CLASS(NSDictionary), DW_SEL("dictionaryWithContentsOfFile:"), MainPrefsPath());
}

}  // namespace

bool ReadsTrue(id value) {
  if (!Send<BOOL>(value, DW_SEL("respondsToSelector:"), DW_SEL("boolValue"))) return false;
  return Send<BOOL>(value, DW_SEL("boolValue"));
}

id ReadPrefColor(id key, id fallback) {
  LocalPool pool;
  id value = Send<id>(ReadMainPrefs(), DW_SEL("objectForKey:"), key);
  if (!Send<BOOL>(value, DW_SEL("isKindOfClass:"), DW_CLASS(NSString))) value = nullptr;
  return Retain(LCPParseColorString(value, fallback));
}

}  // namespace dw

extern "C" BOOL GetPrefBool(id key) {
  using namespace dw;
  LocalPool pool;  // the dictionary of this read ends with it
  return ReadsTrue(Send<id>(ReadMainPrefs(), DW_SEL("valueForKey:"), key));
}
