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

std::optional<std::size_t> findStaticTextStartingWith(Walk& walk, const std::string& prefix) {
  return walk.find(
      0, [&](const ax::Element& e) { return isStaticText(e) && startsWith(e.text(), prefix); });
}

bool isCheckBox(const ax::Element& e, const std::string& description) {
  return e.role.is(ax::RoleKind::kCheckBox) && e.describedAs() == description;
}

std::optional<std::size_t> findCheckBox(Walk& walk, const std::string& description) {
  return walk.find(0, [&](const ax::Element& e) { return isCheckBox(e, description); });
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
  if (!findStaticTextStartingWith(walk, kColorPageTitlePrefix)) {
    throw ColorError(std::string(messages::kOpenColorPage));
  }

  if (section == kPrimaries) {
    const auto colorBars = findCheckBox(walk, kColorBarsCheckBox);
    if (!colorBars) throw ColorError(std::string(messages::kColorBarsUnavailable));
    const ax::Element checkBox = walk.elements()[*colorBars];
    return switchOn(ax, window, std::move(walk), checkBox);
  }

  if (!findStaticTextStartingWith(walk, kBlurTitlePrefix)) {
    const auto opener = findCheckBox(walk, kBlurCheckBox);
    if (!opener) throw ColorError(std::string(messages::kBlurUnavailable));
    ax::press(ax, walk.elements()[*opener]);
    walk = ax::flatten(ax, window);
  }

  const auto title = findStaticTextStartingWith(walk, kBlurTitlePrefix);
  if (!title) throw ColorError(messages::modeUnavailable(mode));
  // Counted, not measured: the walk is read no further than the span.
  const std::size_t end = walk.readUpTo(*title + kModeSearchSpan);
  for (std::size_t i = *title; i < end; ++i) {
    if (isCheckBox(walk.elements()[i], mode)) {
      const ax::Element checkBox = walk.elements()[i];
      return switchOn(ax, window, std::move(walk), checkBox);
    }
  }
  throw ColorError(messages::modeUnavailable(mode));
}

}  // namespace trovemark::color
