#include "color_helper/switching.h"

#include <algorithm>
#include <cstddef>

#include "color_helper/accessibility/element.h"
#include "color_helper/color_error.h"
#include "color_helper/messages.h"
#include "color_helper/palette.h"

namespace trovemark::color {

namespace {

using ax::Walk;

// The mode check boxes stand among the title and the 14 elements after it.
constexpr std::size_t kModeSearchSpan = 15;

Walk::Iterator findStaticTextStartingWith(const Walk& walk, const std::string& prefix) {
  return std::find_if(walk.begin(), walk.end(), [&](const ax::Element& e) {
    return isStaticText(e) && startsWith(e.text(), prefix);
  });
}

bool isCheckBox(const ax::Element& e, const std::string& description) {
  return e.role == kCheckBox && e.description() == description;
}

// A check box already on is left alone; anything else is pressed once and the
// window walked again, without checking that the press took.
Walk switchOn(ax::Accessibility& ax, const ax::ElementRef& window, Walk walk,
              const ax::Element& checkBox) {
  if (checkBox.number() == 1) return walk;
  ax::press(ax, checkBox);
  return ax::flatten(ax, window);
}

}  // namespace

Walk showPalette(ax::Accessibility& ax, const ax::ElementRef& window, const std::string& section,
                 const std::string& mode) {
  Walk walk = ax::flatten(ax, window);
  // The Primaries title is the sign that the Color page is showing.
  if (findStaticTextStartingWith(walk, kColorPageTitlePrefix) == walk.end()) {
    throw ColorError(std::string(messages::kOpenColorPage));
  }

  if (section == kPrimaries) {
    auto colorBars = std::find_if(walk.begin(), walk.end(), [](const ax::Element& e) {
      return isCheckBox(e, kColorBarsCheckBox);
    });
    if (colorBars == walk.end()) throw ColorError(std::string(messages::kColorBarsUnavailable));
    const ax::Element checkBox = *colorBars;
    return switchOn(ax, window, std::move(walk), checkBox);
  }

  if (findStaticTextStartingWith(walk, kBlurTitlePrefix) == walk.end()) {
    auto opener = std::find_if(walk.begin(), walk.end(),
                               [](const ax::Element& e) { return isCheckBox(e, kBlurCheckBox); });
    if (opener == walk.end()) throw ColorError(std::string(messages::kBlurUnavailable));
    ax::press(ax, *opener);
    walk = ax::flatten(ax, window);
  }

  auto title = findStaticTextStartingWith(walk, kBlurTitlePrefix);
  if (title == walk.end()) throw ColorError(messages::modeUnavailable(mode));
  // Counted, not measured: the walk is read no further than the span.
  auto modeBox = title;
  for (std::size_t seen = 0; seen < kModeSearchSpan && modeBox != walk.end(); ++seen, ++modeBox) {
    if (isCheckBox(*modeBox, mode)) {
      const ax::Element checkBox = *modeBox;
      return switchOn(ax, window, std::move(walk), checkBox);
    }
  }
  throw ColorError(messages::modeUnavailable(mode));
}

}  // namespace trovemark::color
