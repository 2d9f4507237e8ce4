#include "Rules.h"

#include "../platform/Pool.h"

namespace dw {

void RepaintOnLayout(OrigSlot slot, id self, SEL cmd, id key, id fallback) {
  CallOrig<void>(slot, self, cmd);
  if (!MasterSwitchOn()) return;
  Owned color(ReadPrefColor(key, fallback));
  Send<void>(self, DW_SEL("setBackgroundColor:"), color.get());
}

void SetUserTextColor(id label) {
  Owned color(ReadPrefColor(DW_STR("text2"), DW_STR("#000000")));
  Send<void>(label, DW_SEL("setTextColor:"), color.get());
}

namespace {

// Each reference colour is built just before its own comparison and released after it.
bool IsSameAsHex(id color, id hex) {
  id reference = Send<id>(Send<id>(DW_CLASS(UIColor), DW_SEL("alloc")), DW_SEL("initWithHex:"), hex);
  const bool same = Send<BOOL>(color, DW_SEL("isSameColor:"), reference);
  Release(reference);
  return same;
}

}  // namespace

// The reference colours' digit strings and scanners end with this pool.
bool IsStockBackground(id color) {
  LocalPool pool;
  return IsSameAsHex(color, DW_STR("FFFFFF")) || IsSameAsHex(color, DW_STR("121212")) ||
         IsSameAsHex(color, DW_STR("181818")) || IsSameAsHex(color, DW_STR("282828"));
}

}  // namespace dw
