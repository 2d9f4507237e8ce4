// Fills the library's reference cells once, at load: what the device's loader does for compiled
// selector and class references and constant strings.
#include "../Platform.h"

extern "C" {
SEL sel_registerName(const char *name);
Class objc_lookUpClass(const char *name);

// The linker brackets each section of cells with these.
extern __attribute__((visibility("hidden"))) dw::SelectorCell __start_dw_selector_cells[];
extern __attribute__((visibility("hidden"))) dw::SelectorCell __stop_dw_selector_cells[];
extern __attribute__((visibility("hidden"))) dw::ClassCell __start_dw_class_cells[];
extern __attribute__((visibility("hidden"))) dw::ClassCell __stop_dw_class_cells[];
extern __attribute__((visibility("hidden"))) dw::ConstantString __start_dw_string_cells[];
extern __attribute__((visibility("hidden"))) dw::ConstantString __stop_dw_string_cells[];
}

namespace dw {

// objc_lookUpClass, not objc_getClass: the hook table's lookups are the library's only lookups by
// name, and these bind references the way a loader would, without asking for unknown classes.
void BindReferences() {
  for (SelectorCell *cell = __start_dw_selector_cells; cell != __stop_dw_selector_cells; ++cell)
    cell->selector = sel_registerName(cell->name);
  for (ClassCell *cell = __start_dw_class_cells; cell != __stop_dw_class_cells; ++cell)
    cell->cls = reinterpret_cast<id>(objc_lookUpClass(cell->name));
  Class constantString = objc_lookUpClass("NSConstantString");
  for (ConstantString *string = __start_dw_string_cells; string != __stop_dw_string_cells; ++string)
    string->isa = constantString;
}

}  // namespace dw
