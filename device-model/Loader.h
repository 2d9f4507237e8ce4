// The device model: one slice of the dylib loaded as the device loads it (segments mapped, rebases
// and binds applied, every import pointed at the model's answer, selectors uniqued, constant
// strings and the category attached), then its initialisers run.
#pragma once

#include "Machine.h"
#include "DylibFile.h"
#include "DeviceLibraries.h"
#include "ObjCRuntime.h"
#include "TraceWriter.h"

#include <memory>
#include <string>
#include <vector>

namespace device {

// What the constructor did through the runtime and the hooking library, in order.
struct LoadRecord {
  struct Install {
    std::string className;  // empty when the class was absent
    std::string selector;
    uint64_t replacement = 0;  // slid
    uint64_t slot = 0;         // slid
    std::string lookedUp;      // the name of the look-up whose answer the constructor passed
    enum class Outcome { own, inherited, none } outcome = Outcome::none;
    std::string definer;       // inherited: the class whose implementation the slot reaches
  };
  std::vector<std::string> lookups;  // objc_getClass names
  std::vector<Install> installs;
};

// Where each import lives on the device, and what the model answers for it.
struct ImportAnswer {
  std::string library;
  uint64_t value = 0;
};

// One bind dyld_stub_binder made: the lazy-bind offset the stub helper pushed, the import, the lazy
// pointer (slid) and what it holds since.
struct LazyBinding {
  uint64_t offset = 0;
  std::string symbol;
  uint64_t pointer = 0;
  uint64_t target = 0;
};

class Device {
 public:
  // Loads `arch`'s slice of `file`; throws LoadError for a file the device would not load, or an
  // import the model does not know (naming the symbol and its library).
  Device(const std::vector<uint8_t> &file, Arch arch, FileReader files);

  // The device's loading of the library: bind, fix up the Objective-C sections, attach the
  // category, then run the initialisers of __mod_init_func.
  void Load();

  Machine &machine() { return *machine_; }
  Runtime &runtime() { return *runtime_; }
  Trace &trace() { return trace_; }
  const Slice &slice() const { return slice_; }
  uint64_t slide() const { return slide_; }
  uint64_t SymbolAddress(const std::string &name) const { return slice_.SymbolAddress(name) + slide_; }
  const LoadRecord &loadRecord() const { return record_; }
  // The binds dyld_stub_binder made so far, in order: one per import called, at its first call.
  const std::vector<LazyBinding> &lazyBindings() const { return lazyBindings_; }

  // The libraries the device's imports come from.
  static const char *const kObjC, *const kFoundation, *const kUIKit, *const kCoreFoundation, *const kSubstrate,
      *const kColorPicker, *const kSystem;

 private:
  void MapSegments();
  void ApplyRebases();
  void ApplyBinds();
  ImportAnswer Resolve(const std::string &symbol);
  // The model's answer for a bind; throws LoadError for an import it does not know or one bound to
  // another library than the device has it in.
  ImportAnswer AnswerFor(const Bind &bind);
  void BindLazyPointer();  // dyld_stub_binder (LazyBinding.cpp)
  void InstallImports();
  void FixUpSelectors();
  void CheckClassReferences();
  void RegisterConstantStrings();
  void AttachCategories();
  void RunInitializers();
  std::vector<uint64_t> PointersIn(const Section &section);
  // Checks that `size` bytes at the slid `address` lie in one of the image's segments; `field`
  // names what pointed there.
  void RequireInImage(uint64_t address, uint64_t size, const std::string &field) const;
  // The C string at the slid `address`, ending inside the segment it starts in.
  std::string ImageString(uint64_t address, const std::string &field) const;
  uint64_t Slid(uint64_t address) const { return address + slide_; }

  Slice slice_;
  std::unique_ptr<Machine> machine_;
  Trace trace_;
  std::unique_ptr<Runtime> runtime_;
  FileReader files_;
  uint64_t slide_ = 0;
  std::map<std::string, ImportAnswer> functionImports_;
  uint64_t stackGuard_ = 0;
  LoadRecord record_;
  std::vector<LazyBinding> lazyBindings_;
  std::vector<uint64_t> lookupAnswers_;  // beside record_.lookups
  std::map<std::pair<ClassInfo *, std::string>, uint64_t> ivarHandles_;
};

}  // namespace device
