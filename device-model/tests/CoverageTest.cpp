// The verdicts per row on the fixture apps, with and without a framework beside them, the loader
// filter's classes, and the summary.
#include "CoverageSupport.h"

namespace device::coverage {
namespace {

const RowVerdict &Row(const std::vector<RowVerdict> &rows, const std::string &cls, const std::string &selector) {
  for (const RowVerdict &v : rows) {
    if (v.row.className == cls && v.row.selector == selector) return v;
  }
  static const RowVerdict none;
  ADD_FAILURE() << "no row " << cls << " " << selector;
  return none;
}

Report ReportOf(const std::string &app, bool withUIKit) {
  Report report;
  report.rows = Verdicts(ShippedTable(), ClassesOf(app, withUIKit));
  Summarize(report);
  return report;
}

TEST(CoverageTest, TheFullHostWithUIKitInstallsEveryRow) {
  for (const char *app : {"FullHost-arm64", "FullHost-armv7", "FullHost-chained"}) {
    SCOPED_TRACE(app);
    const Report r = ReportOf(app, true);
    ASSERT_EQ(r.rows.size(), ShippedTable().size());
    EXPECT_EQ(r.installs, r.rows.size());
    EXPECT_EQ(r.ExitStatus(), 0);
    // The simulated host's cancel button and navigation cell lay out as their UIKit superclasses do.
    const RowVerdict &cancel = Row(r.rows, "SPTContextMenuViewCancelButton", "layoutSubviews");
    EXPECT_EQ(cancel.method, RowVerdict::Method::inherited);
    EXPECT_EQ(cancel.implementor, "UIButton");
    EXPECT_EQ(cancel.implementorOrigin.kind, Origin::framework);
    EXPECT_EQ(cancel.install, RowVerdict::Install::replacesInherited);
    EXPECT_EQ(Row(r.rows, "SPTNavigationTableViewCell", "layoutSubviews").implementor, "UITableViewCell");
    const RowVerdict &module = Row(r.rows, GradientKeyLookup().className, "layoutSubviews");
    EXPECT_EQ(module.key, "_gradientView");
    EXPECT_EQ(module.keyAnswer, RowVerdict::Key::answered);
    EXPECT_EQ(module.keyHolder, "SPTArtistNPVTrackModuleView");
    EXPECT_EQ(Row(r.rows, "UIView", "setBackgroundColor:").method, RowVerdict::Method::own);
    // UILabel only inherits layoutSubviews: its row adds the replacement to UILabel, so the later
    // row of its subclass UIButtonLabel inherits that replacement, not UIView's method.
    const RowVerdict &buttonLabel = Row(r.rows, "UIButtonLabel", "layoutSubviews");
    EXPECT_EQ(buttonLabel.implementor, "UILabel");
    EXPECT_EQ(buttonLabel.addedByRow, Row(r.rows, "UILabel", "layoutSubviews").number);
    EXPECT_EQ(Row(r.rows, "UILabel", "layoutSubviews").implementor, "UIView");
    EXPECT_EQ(SummaryLine(r), std::to_string(r.rows.size()) + " of " + std::to_string(r.rows.size()) +
                                  " rows install; " + std::to_string(r.inherited) + " hook an inherited implementation; 0 do nothing");
  }
}

TEST(CoverageTest, WithoutAFrameworkUIKitsRowsAreOutsideTheApp) {
  const Report r = ReportOf("FullHost-arm64", false);
  EXPECT_EQ(r.nothing, 0u);
  EXPECT_GT(r.unknown, 0u);
  EXPECT_EQ(r.ExitStatus(), 1);
  for (const RowVerdict &v : r.rows) {
    SCOPED_TRACE(v.row.className + " " + v.row.selector);
    if (v.row.className.rfind("UI", 0) == 0 || v.row.className.rfind("_UI", 0) == 0) {
      EXPECT_EQ(v.classOrigin.kind, Origin::outside);
      EXPECT_EQ(v.install, RowVerdict::Install::unknown);
    } else {
      EXPECT_EQ(v.classOrigin.kind, Origin::app);
    }
  }
  // An app class that only inherits from an outside class cannot be decided without it.
  const RowVerdict &cancel = Row(r.rows, "SPTContextMenuViewCancelButton", "layoutSubviews");
  EXPECT_EQ(cancel.method, RowVerdict::Method::unknown);
  EXPECT_EQ(cancel.leavesAt, "UIButton");
}

TEST(CoverageTest, TheNextVersionLosesRenamedAndMissingClassesAndFollowsMovedMethods) {
  const Report r = ReportOf("NextVersion-chained", true);
  for (const char *gone : {"SPTGaiaVolumeView", "SPTPopupView", "SPTInfoView"}) {
    const RowVerdict &v = Row(r.rows, gone, "layoutSubviews");
    EXPECT_EQ(v.classOrigin.kind, Origin::absent) << gone;
    EXPECT_EQ(v.install, RowVerdict::Install::nothing) << gone;
  }
  const RowVerdict &style = Row(r.rows, "GLUEGradientView", "glue_applyStyle:");
  EXPECT_EQ(style.classOrigin.kind, Origin::app);
  EXPECT_EQ(style.method, RowVerdict::Method::absent);
  EXPECT_EQ(style.install, RowVerdict::Install::nothing);
  const RowVerdict &cell = Row(r.rows, "SPTTableViewCell", "layoutSubviews");
  EXPECT_EQ(cell.method, RowVerdict::Method::inherited);
  EXPECT_EQ(cell.implementor, "SPTBaseTableViewCell");
  EXPECT_EQ(cell.implementorOrigin.kind, Origin::app);
  const RowVerdict &icon = Row(r.rows, "SPTIconConfiguration", "iconColor");
  EXPECT_EQ(icon.method, RowVerdict::Method::own);
  EXPECT_EQ(icon.category, "Theming of the app");
  const RowVerdict &content = Row(r.rows, "UITableViewCellContentView", "layoutSubviews");
  EXPECT_EQ(content.method, RowVerdict::Method::own);
  EXPECT_EQ(content.category, "SPTLayout of the app");
  const RowVerdict &slider = Row(r.rows, "SPTNowPlayingSlider", "_effectiveTintColorWithImage:");
  EXPECT_EQ(slider.implementor, "UISlider");
  EXPECT_EQ(Row(r.rows, GradientKeyLookup().className, "layoutSubviews").keyAnswer, RowVerdict::Key::unanswered);
  EXPECT_EQ(r.nothing, 4u);
  EXPECT_EQ(r.installs + r.nothing, r.rows.size());
  EXPECT_EQ(r.ExitStatus(), 1);
}

TEST(CoverageTest, AnAppsCategoryOnAnOutsideClassDecidesItsRowWithoutTheFramework) {
  const Report r = ReportOf("NextVersion-arm64", false);
  const RowVerdict &content = Row(r.rows, "UITableViewCellContentView", "layoutSubviews");
  EXPECT_EQ(content.classOrigin.kind, Origin::outside);
  EXPECT_EQ(content.method, RowVerdict::Method::own);
  EXPECT_EQ(content.install, RowVerdict::Install::replacesOwn);
  EXPECT_EQ(Row(r.rows, "SPTNowPlayingSlider", "_effectiveTintColorWithImage:").leavesAt, "UISlider");
  EXPECT_EQ(Row(r.rows, GradientKeyLookup().className, "layoutSubviews").keyAnswer, RowVerdict::Key::unknown);
}

std::vector<uint8_t> FilterNaming(const std::vector<std::string> &classes, bool bundles) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Filter</key><dict>";
  if (bundles) xml += "<key>Bundles</key><array><string>com.example.host</string></array><key>Mode</key><string>Any</string>";
  xml += "<key>Classes</key><array>";
  for (const std::string &c : classes) xml += "<string>" + c + "</string>";
  xml += "</array></dict></dict></plist>\n";
  return std::vector<uint8_t>(xml.begin(), xml.end());
}

TEST(CoverageTest, TheLoaderFiltersClassesAreLookedUpInTheApp) {
  const ClassSet full = ClassesOf("FullHost-arm64", false);
  FilterVerdict f = CheckFilter("duskwell.plist", FilterNaming({"SPTPopupView", "GLUEStatefulView"}, false), full);
  EXPECT_EQ(f.state, FilterVerdict::State::loads);
  ASSERT_EQ(f.classes.size(), 2u);
  EXPECT_EQ(f.classes[0].second.kind, Origin::app);
  EXPECT_TRUE(f.reason.empty());
  const ClassSet next = ClassesOf("NextVersion-arm64", false);
  f = CheckFilter("duskwell.plist", FilterNaming({"SPTPopupView", "SPTInfoView"}, true), next);
  EXPECT_EQ(f.state, FilterVerdict::State::doesNotLoad);
  EXPECT_EQ(f.classes[1].second.kind, Origin::absent);
  EXPECT_NE(f.reason.find("Bundles"), std::string::npos);
  f = CheckFilter("duskwell.plist", FilterNaming({"UITableViewLabel"}, false), next);
  EXPECT_EQ(f.state, FilterVerdict::State::unknown);
  const std::string garbage = "not a property list";
  f = CheckFilter("duskwell.plist", std::vector<uint8_t>(garbage.begin(), garbage.end()), next);
  EXPECT_EQ(f.state, FilterVerdict::State::unknown);
  EXPECT_EQ(f.reason, "no Filter dictionary in it");
}

TEST(CoverageTest, ASuperclassChainThatLoopsIsRefused) {
  objc::ImageMetadata app;
  objc::ClassRecord a, b;
  a.name = "SPTA";
  a.superclass = objc::ClassReference{objc::ClassReference::local, "SPTB", ""};
  b.name = "SPTB";
  b.superclass = objc::ClassReference{objc::ClassReference::local, "SPTA", ""};
  app.classes = {a, b};
  EXPECT_THROW(ClassSet(app, {}), objc::ImageError);
}

}  // namespace
}  // namespace device::coverage
