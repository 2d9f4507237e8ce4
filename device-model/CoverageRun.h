// The hook table and its installation learnt by running the shipped dylib's constructor in the
// device model: once on the model's own classes (which rows there are), and once with an app's
// classes as the host side (what each row's MSHookMessageEx finds there).
#pragma once

#include "Coverage.h"
#include "Loader.h"

namespace device::coverage {

// The rows the constructor installs, in order: each row's class as the constructor looked it up.
std::vector<HookRow> HookTableOf(const std::vector<uint8_t> &dylib, Arch arch);

// What the constructor's installation of one row did against the app's classes.
struct ModelInstall {
  HookRow row;
  bool classFound = false;
  LoadRecord::Install::Outcome outcome = LoadRecord::Install::Outcome::none;
  std::string definer;  // inherited: the class whose implementation the slot reaches
};

// Runs the constructor with the classes of `classes` in place of the model's own: each class with
// its superclass and the table's selectors it implements. Classes the files place outside the app
// without defining them stand in as empty classes; those of the table they lack are not found.
std::vector<ModelInstall> RunConstructorAgainst(const std::vector<uint8_t> &dylib, Arch arch, const ClassSet &classes,
                                                const std::vector<HookRow> &table);

// The slice of the dylib to run for an app of `arch`: that one if the dylib has it, else its first.
Arch DylibSliceFor(const std::vector<uint8_t> &dylib, Arch arch);

}  // namespace device::coverage
