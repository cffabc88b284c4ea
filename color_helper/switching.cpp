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

// A check box to switch on: one already on is left alone.
std::optional<PaletteSwitch> switchOn(const Walk& walk, std::size_t checkBox, bool opens) {
  if (walk.elements()[checkBox].number() == 1) return std::nullopt;
  return PaletteSwitch{checkBox, opens};
}

// The Blur palette's mode check box among the title and the 14 elements
// after it. Counted, not measured: the walk is read no further than the span.
std::optional<PaletteSwitch> modeSwitch(Walk& walk, const std::string& mode) {
  const auto title = findStaticTextStartingWith(walk, kBlurTitlePrefix);
  if (!title) throw ColorError(messages::modeUnavailable(mode));
  const std::size_t end = walk.readUpTo(*title + kModeSearchSpan);
  for (std::size_t i = *title; i < end; ++i) {
    if (isCheckBox(walk.elements()[i], mode)) return switchOn(walk, i, false);
  }
  throw ColorError(messages::modeUnavailable(mode));
}

}  // namespace

std::optional<PaletteSwitch> nextSwitch(Walk& walk, const std::string& section,
                                        const std::string& mode) {
  // The Primaries title is the sign that the Color page is showing.
  if (!findStaticTextStartingWith(walk, kColorPageTitlePrefix)) {
    throw ColorError(std::string(messages::kOpenColorPage));
  }
  if (section == kPrimaries) {
    const auto colorBars = findCheckBox(walk, kColorBarsCheckBox);
    if (!colorBars) throw ColorError(std::string(messages::kColorBarsUnavailable));
    return switchOn(walk, *colorBars, false);
  }
  if (!findStaticTextStartingWith(walk, kBlurTitlePrefix)) {
    const auto opener = findCheckBox(walk, kBlurCheckBox);
    if (!opener) throw ColorError(std::string(messages::kBlurUnavailable));
    // Pressed without looking at its value: the palette does not show.
    return PaletteSwitch{*opener, true};
  }
  return modeSwitch(walk, mode);
}

Walk showPalette(ax::Accessibility& ax, const ax::ElementRef& window, const std::string& section,
                 const std::string& mode) {
  Walk walk = ax::flatten(ax, window);
  auto next = nextSwitch(walk, section, mode);
  if (next && next->opensPalette) {
    ax::press(ax, walk.elements()[next->checkBox]);
    walk = ax::flatten(ax, window);
    next = modeSwitch(walk, mode);
  }
  if (!next) return walk;
  // Pressed once, and the window walked again without checking that the
  // press took.
  ax::press(ax, walk.elements()[next->checkBox]);
  return ax::flatten(ax, window);
}

}  // namespace trovemark::color
