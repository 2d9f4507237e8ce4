#include "Coverage.h"

#include "host/loader-filter/HookTableClasses.h"

#include <plist/plist.h>

#include <algorithm>
#include <memory>
#include <unordered_set>

namespace device::coverage {

using objc::ClassReference;

namespace {

// The host app's own classes carry its prefixes (the loader filter's rule); a class of the table
// without them is UIKit's, and lives outside the app.
bool IsHostAppClass(const std::string &name) { return DWIsHostOnlyClass(name.c_str()); }

}  // namespace

void MethodTable::AddOwn(std::vector<std::string> selectors) {
  methods_.reserve(methods_.size() + selectors.size());
  for (std::string &selector : selectors) methods_.emplace_back(std::move(selector), std::string());
  std::stable_sort(methods_.begin(), methods_.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
  methods_.erase(std::unique(methods_.begin(), methods_.end(), [](const auto &a, const auto &b) { return a.first == b.first; }),
                 methods_.end());
}

void MethodTable::AddFromCategory(const std::string &selector, const std::string &category) {
  auto at = std::lower_bound(methods_.begin(), methods_.end(), selector, [](const auto &m, const std::string &s) { return m.first < s; });
  if (at != methods_.end() && at->first == selector) {
    at->second = category;
  } else {
    methods_.emplace(at, selector, category);
  }
}

const std::string *MethodTable::Find(const std::string &selector) const {
  auto at = std::lower_bound(methods_.begin(), methods_.end(), selector, [](const auto &m, const std::string &s) { return m.first < s; });
  return at != methods_.end() && at->first == selector ? &at->second : nullptr;
}

const KeyLookup &GradientKeyLookup() {
  // The suppressed-gradient hook hides the view it finds under this key after each layout pass.
  static const KeyLookup lookup{"SPTArtistNPVTrackModuleView", "_gradientView"};
  return lookup;
}

ClassSet::ClassSet(objc::ImageMetadata app, std::vector<std::pair<std::string, objc::ImageMetadata>> frameworks) {
  frameworksGiven_ = !frameworks.empty();
  AddClasses(app, Origin{Origin::app, ""});
  for (auto &[file, image] : frameworks) AddClasses(image, Origin{Origin::framework, file});
  AddCategories(app, Origin{Origin::app, ""});
  for (const auto &[file, image] : frameworks) AddCategories(image, Origin{Origin::framework, file});
  CheckChains();
}

ClassSet::Entry &ClassSet::Outside(const std::string &name) {
  Entry &entry = entries_[name];
  if (entry.name.empty()) {
    entry.name = name;
    entry.origin = Origin{Origin::outside, ""};
  }
  return entry;
}

void ClassSet::AddClasses(objc::ImageMetadata &image, const Origin &origin) {
  for (objc::ClassRecord &cls : image.classes) {
    auto existing = entries_.find(cls.name);
    if (existing != entries_.end() && existing->second.origin.kind != Origin::outside) continue;  // defined first wins
    Entry &entry = entries_[cls.name];
    entry.name = cls.name;
    entry.origin = origin;
    entry.superclass.reset();
    if (cls.superclass.kind != ClassReference::none) entry.superclass = cls.superclass.name;
    entry.methods.AddOwn(std::move(cls.instanceMethods));
    entry.ivars.insert(cls.ivars.begin(), cls.ivars.end());
  }
  for (const objc::ClassRecord &cls : image.classes) {
    if (cls.superclass.kind == ClassReference::outside) Outside(cls.superclass.name);
  }
}

void ClassSet::AddCategories(const objc::ImageMetadata &image, const Origin &origin) {
  const std::string where = origin.kind == Origin::app ? " of the app" : " of " + origin.file.substr(origin.file.find_last_of('/') + 1);
  for (const objc::CategoryRecord &category : image.categories) {
    Entry &entry = category.cls.kind == ClassReference::outside ? Outside(category.cls.name) : entries_[category.cls.name];
    if (entry.name.empty()) Outside(category.cls.name);  // a local class no image defines: keep it outside
    // A category's method replaces a method of the same name the class has: the runtime attaches
    // categories in front of the class's own list.
    for (const std::string &m : category.instanceMethods) {
      entry.methods.AddFromCategory(m, (category.name.empty() ? "(unnamed)" : category.name) + where);
    }
  }
}

void ClassSet::CheckChains() const {
  // Each chain is walked until it meets one already known to end: every class is passed once.
  std::unordered_set<const Entry *> ends;
  std::vector<const Entry *> path;
  for (const auto &[name, entry] : entries_) {
    path.clear();
    for (const Entry *at = &entry; at != nullptr && !ends.count(at);) {
      if (path.size() > entries_.size()) throw objc::ImageError("the superclass chain of " + name + " loops");
      path.push_back(at);
      at = at->superclass ? Find(*at->superclass) : nullptr;
    }
    ends.insert(path.begin(), path.end());
  }
}

const ClassSet::Entry *ClassSet::Find(const std::string &name) const {
  auto it = entries_.find(name);
  return it != entries_.end() ? &it->second : nullptr;
}

namespace {

bool Resolved(const ClassSet::Entry &entry) { return entry.origin.kind == Origin::app || entry.origin.kind == Origin::framework; }

// A class named by no image: the host app's own classes are absent; UIKit's are outside the app,
// and absent too when the frameworks given beside the app do not define them either.
Origin Unknown(const std::string &name, const ClassSet &classes) {
  if (IsHostAppClass(name) || classes.frameworksGiven()) return Origin{Origin::absent, ""};
  return Origin{Origin::outside, ""};
}

Origin OriginOf(const std::string &name, const ClassSet &classes) {
  const ClassSet::Entry *entry = classes.Find(name);
  if (entry == nullptr) return Unknown(name, classes);
  if (entry->origin.kind == Origin::outside && classes.frameworksGiven()) return Origin{Origin::absent, ""};
  return entry->origin;
}

// Rows installed so far that added their replacement to a class which only inherited the method:
// class -> selector -> row. A later row on a subclass inherits that replacement.
using AddedMethods = std::map<std::string, std::map<std::string, unsigned>>;

void FindMethod(RowVerdict &v, const ClassSet &classes, const AddedMethods &added) {
  const ClassSet::Entry *at = classes.Find(v.row.className);
  for (bool first = true; at != nullptr; first = false) {
    const std::string *method = at->methods.Find(v.row.selector);
    auto addedHere = added.find(at->name);
    const bool byRow = addedHere != added.end() && addedHere->second.count(v.row.selector);
    if (method != nullptr || byRow) {
      v.method = first ? RowVerdict::Method::own : RowVerdict::Method::inherited;
      v.implementor = at->name;
      v.implementorOrigin = OriginOf(at->name, classes);
      if (byRow) {
        v.addedByRow = addedHere->second.at(v.row.selector);
      } else {
        v.category = *method;
      }
      return;
    }
    if (!Resolved(*at)) {
      // An outside class: what it implements is not in these files.
      if (classes.frameworksGiven()) break;
      v.method = RowVerdict::Method::unknown;
      v.leavesAt = at->name;
      return;
    }
    if (!at->superclass) break;
    const std::string &super = *at->superclass;
    at = classes.Find(super);
    if (at == nullptr) {
      v.method = RowVerdict::Method::unknown;
      v.leavesAt = super;
      return;
    }
  }
  v.method = RowVerdict::Method::absent;
}

// Where key-value coding finds a key: an accessor of one of these names, then an instance variable.
bool AnswersKey(const ClassSet::Entry &entry, const std::string &key) {
  std::string capitalised = key;
  if (!capitalised.empty()) capitalised[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(capitalised[0])));
  for (const std::string &accessor : {"get" + capitalised, key, "is" + capitalised, "_get" + capitalised, "_" + key}) {
    if (entry.methods.Has(accessor)) return true;
  }
  for (const std::string &ivar : {"_" + key, "_is" + capitalised, key, "is" + capitalised}) {
    if (entry.ivars.count(ivar)) return true;
  }
  return false;
}

void CheckKey(RowVerdict &v, const ClassSet &classes) {
  for (const ClassSet::Entry *at = classes.Find(v.row.className); at != nullptr;) {
    if (AnswersKey(*at, v.key)) {
      v.keyAnswer = RowVerdict::Key::answered;
      v.keyHolder = at->name;
      return;
    }
    if (!Resolved(*at) && !classes.frameworksGiven()) {
      v.keyAnswer = RowVerdict::Key::unknown;
      v.keyHolder = at->name;
      return;
    }
    if (!at->superclass) break;
    at = classes.Find(*at->superclass);
    if (at == nullptr) {
      v.keyAnswer = classes.frameworksGiven() ? RowVerdict::Key::unanswered : RowVerdict::Key::unknown;
      return;
    }
  }
  v.keyAnswer = RowVerdict::Key::unanswered;
}

}  // namespace

std::vector<RowVerdict> Verdicts(const std::vector<HookRow> &table, const ClassSet &classes) {
  std::vector<RowVerdict> out;
  AddedMethods added;
  for (const HookRow &row : table) {
    RowVerdict v;
    v.number = static_cast<unsigned>(out.size() + 1);
    v.row = row;
    v.classOrigin = OriginOf(row.className, classes);
    const bool present = v.classOrigin.kind == Origin::app || v.classOrigin.kind == Origin::framework;
    if (v.classOrigin.kind == Origin::outside) {
      v.method = RowVerdict::Method::unknown;
      v.leavesAt = row.className;
      // An app's category on an outside class is still the app's own implementation there.
      const ClassSet::Entry *entry = classes.Find(row.className);
      if (entry != nullptr && entry->methods.Has(row.selector)) FindMethod(v, classes, added);
    } else if (present) {
      FindMethod(v, classes, added);
    } else {
      v.method = RowVerdict::Method::absent;
    }
    switch (v.method) {
      case RowVerdict::Method::own:
        // An outside class the app adds a method to exists when the app runs: the category binds to it.
        v.install = RowVerdict::Install::replacesOwn;
        break;
      case RowVerdict::Method::inherited:
        v.install = RowVerdict::Install::replacesInherited;
        added[row.className][row.selector] = v.number;
        break;
      case RowVerdict::Method::absent:
        v.install = RowVerdict::Install::nothing;
        break;
      case RowVerdict::Method::unknown:
        v.install = RowVerdict::Install::unknown;
        break;
    }
    const KeyLookup &lookup = GradientKeyLookup();
    if (row.className == lookup.className && row.selector == "layoutSubviews") {
      v.key = lookup.key;
      if (present) {
        CheckKey(v, classes);
      } else {
        v.keyAnswer = v.classOrigin.kind == Origin::outside ? RowVerdict::Key::unknown : RowVerdict::Key::unanswered;
      }
    }
    out.push_back(v);
  }
  return out;
}

FilterVerdict CheckFilter(const std::string &file, const std::vector<uint8_t> &bytes, const ClassSet &classes) {
  FilterVerdict out;
  out.file = file;
  plist_t root = nullptr;
  if (!bytes.empty() && bytes.size() < UINT32_MAX) {
    plist_from_memory(reinterpret_cast<const char *>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
  }
  std::unique_ptr<void, void (*)(plist_t)> owned(root, plist_free);
  plist_t filter = root != nullptr && plist_get_node_type(root) == PLIST_DICT ? plist_dict_get_item(root, "Filter") : nullptr;
  if (filter == nullptr || plist_get_node_type(filter) != PLIST_DICT) {
    out.state = FilterVerdict::State::unknown;
    out.reason = "no Filter dictionary in it";
    return out;
  }
  plist_t names = plist_dict_get_item(filter, "Classes");
  if (names == nullptr || plist_get_node_type(names) != PLIST_ARRAY) {
    out.state = FilterVerdict::State::unknown;
    out.reason = "the filter names no classes";
    return out;
  }
  bool anyPresent = false, anyUnknown = false;
  for (uint32_t i = 0; i < plist_array_get_size(names); ++i) {
    plist_t item = plist_array_get_item(names, i);
    if (plist_get_node_type(item) != PLIST_STRING) continue;
    char *text = nullptr;
    plist_get_string_val(item, &text);
    const std::string name = text != nullptr ? text : "";
    free(text);
    const Origin origin = OriginOf(name, classes);
    anyPresent = anyPresent || origin.kind == Origin::app || origin.kind == Origin::framework;
    anyUnknown = anyUnknown || origin.kind == Origin::outside;
    out.classes.emplace_back(name, origin);
  }
  // The loader loads the library when any one class of the list is found.
  out.state = anyPresent ? FilterVerdict::State::loads : anyUnknown ? FilterVerdict::State::unknown : FilterVerdict::State::doesNotLoad;
  if (plist_dict_get_item(filter, "Bundles") != nullptr) out.reason = "its Bundles condition is not checked from the executable";
  return out;
}

void Summarize(Report &report) {
  report.installs = report.inherited = report.nothing = report.unknown = 0;
  for (const RowVerdict &v : report.rows) {
    switch (v.install) {
      case RowVerdict::Install::replacesOwn:
        ++report.installs;
        break;
      case RowVerdict::Install::replacesInherited:
        ++report.installs;
        ++report.inherited;
        break;
      case RowVerdict::Install::nothing:
        ++report.nothing;
        break;
      case RowVerdict::Install::unknown:
        ++report.unknown;
        break;
    }
  }
}

}  // namespace device::coverage
