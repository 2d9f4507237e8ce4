#include "CoverageRun.h"

#include <algorithm>

namespace device::coverage {

namespace {

FileContents NoFiles(const std::string &) { return FileContents{}; }

bool Resolved(const ClassSet::Entry &e) { return e.origin.kind == Origin::app || e.origin.kind == Origin::framework; }

}  // namespace

Arch DylibSliceFor(const std::vector<uint8_t> &dylib, Arch arch) {
  const std::vector<Arch> slices = ArchitecturesOf(dylib);
  if (slices.empty()) throw LoadError("the dylib has no arm64 or armv7 slice");
  return std::find(slices.begin(), slices.end(), arch) != slices.end() ? arch : slices.front();
}

std::vector<HookRow> HookTableOf(const std::vector<uint8_t> &dylib, Arch arch) {
  Device device(dylib, arch, NoFiles);
  device.Load();
  std::vector<HookRow> table;
  for (const LoadRecord::Install &install : device.loadRecord().installs) {
    if (install.lookedUp.empty()) throw LoadError("the constructor installed " + install.selector + " on a class it never looked up");
    table.push_back(HookRow{install.lookedUp, install.selector});
  }
  return table;
}

std::vector<ModelInstall> RunConstructorAgainst(const std::vector<uint8_t> &dylib, Arch arch, const ClassSet &classes,
                                                const std::vector<HookRow> &table) {
  Device device(dylib, arch, NoFiles);
  Runtime &rt = device.runtime();
  // The app's code is not run: its implementations are one trap that stops the run if reached.
  const uint64_t appImplementation = device.machine().AddTrap("(an implementation of the app's, not modelled)", [] {
    throw RunError("an implementation of the app's was called");
  });
  std::vector<std::string> selectors;
  for (const HookRow &row : table) {
    if (std::find(selectors.begin(), selectors.end(), row.selector) == selectors.end()) selectors.push_back(row.selector);
  }
  // Every class the files name takes the place of the model's class of that name, if there is one:
  // with its superclass, and with exactly the table's selectors that the files give it. An outside
  // class the files do not define has no methods here.
  std::map<std::string, ClassInfo *> placed;
  for (const auto &[name, entry] : classes.entries()) {
    ClassInfo *cls = rt.FindClass(name);
    if (cls == nullptr) cls = &rt.DefineClass(name, "");
    cls->instanceMethods.clear();
    cls->superclass = nullptr;
    for (const std::string &selector : selectors) {
      if (entry.methods.Has(selector)) rt.AddImageMethod(*cls, false, rt.Selector(selector), appImplementation);
    }
    cls->ivars = entry.ivars;
    placed[name] = cls;
  }
  for (const auto &[name, entry] : classes.entries()) {
    if (entry.superclass && placed.count(*entry.superclass)) placed[name]->superclass = placed[*entry.superclass];
  }
  // The table's classes the files lack are not found; those only named (outside the app, with no
  // framework given) are found, as they would be when the app runs.
  for (const HookRow &row : table) {
    const ClassSet::Entry *entry = classes.Find(row.className);
    const bool named = entry != nullptr && (Resolved(*entry) || !classes.frameworksGiven());
    if (!named) rt.ForgetClassName(row.className);
  }
  device.Load();
  std::vector<ModelInstall> out;
  for (const LoadRecord::Install &install : device.loadRecord().installs) {
    ModelInstall m;
    m.row = HookRow{install.lookedUp, install.selector};
    m.classFound = !install.className.empty();
    m.outcome = install.outcome;
    m.definer = install.definer;
    out.push_back(m);
  }
  return out;
}

}  // namespace device::coverage
