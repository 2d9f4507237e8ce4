#include "Scenario.h"

namespace dw::scenario {

bool HasResult(Shape shape) { return shape == Shape::Object || shape == Shape::ObjectObject; }

bool TakesArgument(Shape shape) { return shape != Shape::Void && shape != Shape::Object; }

const std::vector<Selector> &UsableSelectors() {
  static const std::vector<Selector> selectors = {
      {"layoutSubviews", Shape::Void},
      {"glue_applyStyle:", Shape::VoidObject},
      {"_setBackgroundCGColor:", Shape::VoidCGColor},
      {"_setBackgroundColor:", Shape::VoidObject},
      {"bottomGradientView", Shape::Object},
      {"setBackgroundImageBlurView:", Shape::VoidObject},
      {"setShadowGradientLayer:", Shape::VoidObject},
      {"iconColor", Shape::Object},
      {"_setColor:", Shape::VoidObject},
      {"_setTextColor:", Shape::VoidObject},
      {"textColor", Shape::Object},
      {"tintColor", Shape::Object},
      {"_effectiveTintColorWithImage:", Shape::ObjectObject},
      {"setBackgroundColor:", Shape::VoidObject},
      {"setTextColor:", Shape::VoidObject},
      {"setHidden:", Shape::VoidBool},
  };
  return selectors;
}

const Selector *FindUsableSelector(const std::string &name) {
  for (const Selector &selector : UsableSelectors()) {
    if (name == selector.name) return &selector;
  }
  return nullptr;
}

}  // namespace dw::scenario
