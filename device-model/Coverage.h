// Which rows of the hook table still hit on a build of the host app, read from the app's own
// executable: for each row, whether the class is there, whether it implements the selector itself,
// inherits it (from which class, in the app or outside it) or lacks it, and so what installing the
// row does. Classes the app does not define are "outside the app" unless a framework given beside
// it defines them; the host app's own classes (its prefixes) are simply absent when it lacks them.
#pragma once

#include "ObjCMetadata.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace device::coverage {

struct HookRow {
  std::string className, selector;
};

// Where a class is defined.
struct Origin {
  enum Kind { app, framework, outside, absent } kind = absent;
  std::string file;  // framework: its path
};

// A class's instance methods: each selector with "" or the category that adds it. Kept sorted in one
// block: an app has hundreds of thousands of them.
class MethodTable {
 public:
  void AddOwn(std::vector<std::string> selectors);
  void AddFromCategory(const std::string &selector, const std::string &category);
  // "" or the category, or nullptr when the class has no such method.
  const std::string *Find(const std::string &selector) const;
  bool Has(const std::string &selector) const { return Find(selector) != nullptr; }

 private:
  std::vector<std::pair<std::string, std::string>> methods_;
};

// The classes of the app and of the frameworks given beside it, with the categories applied.
class ClassSet {
 public:
  struct Entry {
    std::string name;
    Origin origin;
    std::optional<std::string> superclass;        // none for a root class or an outside class
    MethodTable methods;
    std::set<std::string> ivars;
  };

  // The app first, then each framework: a class the app defines is the app's. The metadata is
  // taken over (its method names move into the set).
  ClassSet(objc::ImageMetadata app, std::vector<std::pair<std::string, objc::ImageMetadata>> frameworks);

  // A class the set knows: defined by an image, or outside and named by one (a superclass or a
  // category's class); nullptr otherwise.
  const Entry *Find(const std::string &name) const;
  bool frameworksGiven() const { return frameworksGiven_; }
  const std::map<std::string, Entry> &entries() const { return entries_; }

 private:
  void AddClasses(objc::ImageMetadata &image, const Origin &origin);
  void AddCategories(const objc::ImageMetadata &image, const Origin &origin);
  Entry &Outside(const std::string &name);
  void CheckChains() const;

  std::map<std::string, Entry> entries_;
  bool frameworksGiven_ = false;
};

struct RowVerdict {
  unsigned number = 0;
  HookRow row;
  Origin classOrigin;
  enum class Method { own, inherited, absent, unknown } method = Method::unknown;
  std::string implementor;  // own or inherited: the class whose implementation it is
  Origin implementorOrigin;
  std::string category;   // when that implementation comes from a category
  unsigned addedByRow = 0;  // when it is the replacement an earlier row added to that class
  std::string leavesAt;   // unknown: the outside class where what is known ends
  enum class Install { replacesOwn, replacesInherited, nothing, unknown } install = Install::unknown;
  // The key-value lookup a row's replacement makes on its receiver, when it makes one.
  std::string key;
  enum class Key { notAsked, answered, unanswered, unknown } keyAnswer = Key::notAsked;
  std::string keyHolder;  // answered: the class declaring the instance variable or method
};

// The loader filter's classes, looked up in the app.
struct FilterVerdict {
  enum class State { notChecked, loads, doesNotLoad, unknown } state = State::notChecked;
  std::string file, reason;  // reason: why it was not checked, or what else the filter asks
  std::vector<std::pair<std::string, Origin>> classes;
};

struct Report {
  std::string app;
  Arch arch = Arch::arm64;
  std::string fixUps;
  std::vector<std::string> frameworks;
  std::vector<RowVerdict> rows;
  FilterVerdict filter;
  unsigned installs = 0, inherited = 0, nothing = 0, unknown = 0;
  // 0 when every row installs, 1 otherwise.
  int ExitStatus() const { return installs == rows.size() ? 0 : 1; }
};

// The key-value lookup of the hook table's one replacement that makes one: its class and key.
struct KeyLookup {
  std::string className, key;
};
const KeyLookup &GradientKeyLookup();

// The verdict of every row, in table order.
std::vector<RowVerdict> Verdicts(const std::vector<HookRow> &table, const ClassSet &classes);
// The filter's classes looked up in the set; `filterPlist` is the file's bytes.
FilterVerdict CheckFilter(const std::string &file, const std::vector<uint8_t> &filterPlist, const ClassSet &classes);
void Summarize(Report &report);

std::string ReportText(const Report &report);
std::string ReportJson(const Report &report);
// "47 of 56 rows install; 3 hook an inherited implementation; 6 do nothing".
std::string SummaryLine(const Report &report);

}  // namespace device::coverage
