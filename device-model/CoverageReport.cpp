// The coverage report as a table for a maintainer and as one JSON document for a script.
#include "Coverage.h"
#include "scenario/Quote.h"

#include <sstream>

namespace device::coverage {

namespace {

std::string BaseName(const std::string &path) { return path.substr(path.find_last_of('/') + 1); }

std::string Where(const Origin &origin) {
  switch (origin.kind) {
    case Origin::app:
      return "in the app";
    case Origin::framework:
      return "in " + BaseName(origin.file);
    case Origin::outside:
      return "outside the app";
    case Origin::absent:
      break;
  }
  return "absent";
}

std::string MethodText(const RowVerdict &v) {
  const std::string category = v.category.empty() ? "" : ", category " + v.category;
  switch (v.method) {
    case RowVerdict::Method::own:
      return "own" + (category.empty() ? "" : " (" + category.substr(2) + ")");
    case RowVerdict::Method::inherited:
      if (v.addedByRow != 0) return "inherited from " + v.implementor + " (row " + std::to_string(v.addedByRow) + "'s replacement)";
      return "inherited from " + v.implementor + " (" + Where(v.implementorOrigin) + category + ")";
    case RowVerdict::Method::absent:
      return v.classOrigin.kind == Origin::absent ? "-" : "absent along the chain";
    case RowVerdict::Method::unknown:
      break;
  }
  return "not checked: " + v.leavesAt + " is outside the app";
}

std::string InstallText(const RowVerdict &v) {
  switch (v.install) {
    case RowVerdict::Install::replacesOwn:
      return "replaces its own";
    case RowVerdict::Install::replacesInherited:
      return "adds one, calls " + v.implementor + "'s";
    case RowVerdict::Install::nothing:
      return "installs nothing";
    case RowVerdict::Install::unknown:
      break;
  }
  return "not checked";
}

std::string KeyText(const RowVerdict &v) {
  switch (v.keyAnswer) {
    case RowVerdict::Key::answered:
      return "answered by " + v.keyHolder;
    case RowVerdict::Key::unanswered:
      return "not answered: no instance variable or method of that name along the chain";
    case RowVerdict::Key::unknown:
      return "not checked: the chain leaves the app" + (v.keyHolder.empty() ? "" : " at " + v.keyHolder);
    case RowVerdict::Key::notAsked:
      break;
  }
  return "";
}

std::string FilterText(const FilterVerdict &f) {
  switch (f.state) {
    case FilterVerdict::State::notChecked:
      return "not checked (" + f.reason + ")";
    case FilterVerdict::State::loads:
      return "the library loads";
    case FilterVerdict::State::doesNotLoad:
      return "THE LIBRARY DOES NOT LOAD: none of its classes is in the app";
    case FilterVerdict::State::unknown:
      break;
  }
  return "not decided" + (f.reason.empty() ? "" : " (" + f.reason + ")");
}

// A JSON string literal, written as the traces write theirs.
std::string Json(const std::string &text) { return dw::scenario::QuoteForTrace(text); }

const char *KindName(const Origin &o) {
  switch (o.kind) {
    case Origin::app:
      return "app";
    case Origin::framework:
      return "framework";
    case Origin::outside:
      return "outside";
    case Origin::absent:
      break;
  }
  return "absent";
}

std::string OriginJson(const Origin &o) {
  std::string out = "{\"where\":" + Json(KindName(o));
  if (o.kind == Origin::framework) out += ",\"file\":" + Json(o.file);
  return out + "}";
}

const char *MethodName(RowVerdict::Method m) {
  switch (m) {
    case RowVerdict::Method::own:
      return "own";
    case RowVerdict::Method::inherited:
      return "inherited";
    case RowVerdict::Method::absent:
      return "absent";
    case RowVerdict::Method::unknown:
      break;
  }
  return "not checked";
}

const char *InstallName(RowVerdict::Install i) {
  switch (i) {
    case RowVerdict::Install::replacesOwn:
      return "replaces own";
    case RowVerdict::Install::replacesInherited:
      return "replaces inherited";
    case RowVerdict::Install::nothing:
      return "nothing";
    case RowVerdict::Install::unknown:
      break;
  }
  return "not checked";
}

const char *KeyName(RowVerdict::Key k) {
  switch (k) {
    case RowVerdict::Key::answered:
      return "answered";
    case RowVerdict::Key::unanswered:
      return "not answered";
    case RowVerdict::Key::unknown:
      return "not checked";
    case RowVerdict::Key::notAsked:
      break;
  }
  return "";
}

const char *FilterStateName(FilterVerdict::State s) {
  switch (s) {
    case FilterVerdict::State::notChecked:
      return "not checked";
    case FilterVerdict::State::loads:
      return "loads";
    case FilterVerdict::State::doesNotLoad:
      return "does not load";
    case FilterVerdict::State::unknown:
      break;
  }
  return "not decided";
}

}  // namespace

std::string SummaryLine(const Report &r) {
  std::string line = std::to_string(r.installs) + " of " + std::to_string(r.rows.size()) + " rows install; " +
                     std::to_string(r.inherited) + " hook an inherited implementation; " + std::to_string(r.nothing) +
                     " do nothing";
  if (r.unknown != 0) line += "; " + std::to_string(r.unknown) + " not checked (outside the app: --framework FILE resolves them)";
  return line;
}

std::string ReportText(const Report &r) {
  std::vector<std::vector<std::string>> cells = {{"#", "class", "selector", "class is", "selector is", "installing"}};
  for (const RowVerdict &v : r.rows) {
    cells.push_back({std::to_string(v.number), v.row.className, v.row.selector, Where(v.classOrigin), MethodText(v), InstallText(v)});
  }
  std::vector<size_t> widths(cells[0].size(), 0);
  for (const auto &line : cells) {
    for (size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], line[i].size());
  }
  std::ostringstream out;
  out << r.app << " (" << ArchName(r.arch) << ", " << r.fixUps << ")\n";
  for (const std::string &f : r.frameworks) out << "framework " << f << "\n";
  for (size_t n = 0; n < cells.size(); ++n) {
    std::string text;
    for (size_t i = 0; i < cells[n].size(); ++i) {
      text += cells[n][i];
      if (i + 1 < cells[n].size()) text += std::string(widths[i] - cells[n][i].size() + 2, ' ');
    }
    out << text << "\n";
    if (n > 0 && r.rows[n - 1].keyAnswer != RowVerdict::Key::notAsked) {
      out << std::string(widths[0] + 2, ' ') << "key \"" << r.rows[n - 1].key << "\": " << KeyText(r.rows[n - 1]) << "\n";
    }
  }
  out << "loader filter" << (r.filter.file.empty() ? "" : " " + r.filter.file) << ": " << FilterText(r.filter) << "\n";
  for (const auto &[name, origin] : r.filter.classes) out << "  " << name << ": " << Where(origin) << "\n";
  out << SummaryLine(r) << "\n";
  return out.str();
}

std::string ReportJson(const Report &r) {
  std::ostringstream out;
  out << "{\"app\":" << Json(r.app) << ",\"arch\":" << Json(ArchName(r.arch)) << ",\"fixUps\":" << Json(r.fixUps)
      << ",\"frameworks\":[";
  for (size_t i = 0; i < r.frameworks.size(); ++i) out << (i ? "," : "") << Json(r.frameworks[i]);
  out << "],\"rows\":[";
  for (size_t i = 0; i < r.rows.size(); ++i) {
    const RowVerdict &v = r.rows[i];
    out << (i ? "," : "") << "\n{\"row\":" << v.number << ",\"class\":" << Json(v.row.className)
        << ",\"selector\":" << Json(v.row.selector) << ",\"classIs\":" << OriginJson(v.classOrigin)
        << ",\"selectorIs\":" << Json(MethodName(v.method));
    if (!v.implementor.empty()) {
      out << ",\"implementor\":" << Json(v.implementor) << ",\"implementorIs\":" << OriginJson(v.implementorOrigin);
    }
    if (!v.category.empty()) out << ",\"category\":" << Json(v.category);
    if (v.addedByRow != 0) out << ",\"replacementOfRow\":" << v.addedByRow;
    if (!v.leavesAt.empty()) out << ",\"outsideAt\":" << Json(v.leavesAt);
    out << ",\"installing\":" << Json(InstallName(v.install));
    if (v.keyAnswer != RowVerdict::Key::notAsked) {
      out << ",\"key\":{\"name\":" << Json(v.key) << ",\"answer\":" << Json(KeyName(v.keyAnswer));
      if (!v.keyHolder.empty()) out << ",\"by\":" << Json(v.keyHolder);
      out << "}";
    }
    out << "}";
  }
  out << "],\n\"loaderFilter\":{\"state\":" << Json(FilterStateName(r.filter.state));
  if (!r.filter.file.empty()) out << ",\"file\":" << Json(r.filter.file);
  if (!r.filter.reason.empty()) out << ",\"note\":" << Json(r.filter.reason);
  out << ",\"classes\":[";
  for (size_t i = 0; i < r.filter.classes.size(); ++i) {
    out << (i ? "," : "") << "{\"class\":" << Json(r.filter.classes[i].first) << ",\"is\":" << OriginJson(r.filter.classes[i].second) << "}";
  }
  out << "]},\n\"summary\":{\"rows\":" << r.rows.size() << ",\"install\":" << r.installs << ",\"inherited\":" << r.inherited
      << ",\"nothing\":" << r.nothing << ",\"notChecked\":" << r.unknown << ",\"line\":" << Json(SummaryLine(r))
      << "},\"exitStatus\":" << r.ExitStatus() << "}\n";
  return out.str();
}

}  // namespace device::coverage
