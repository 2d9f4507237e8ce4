#include "MainPrefs.h"

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
  id value = Send<id>(ReadMainPrefs(), DW_SEL("objectForKey:"), key);
  if (!Send<BOOL>(value, DW_SEL("isKindOfClass:"), DW_CLASS(NSString))) value = nullptr;
  return LCPParseColorString(value, fallback);
}

}  // namespace dw

extern "C" BOOL GetPrefBool(id key) {
  using namespace dw;
  return ReadsTrue(Send<id>(ReadMainPrefs(), DW_SEL("valueForKey:"), key));
}
