#include "color_helper/palette.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "color_helper/color_error.h"
#include "color_helper/messages.h"

namespace trovemark::color {

namespace {

struct PaletteShape {
  const char* titlePrefix;
  // The next palette's title: a prefix for the Blur palette after Primaries,
  // the exact text "Scopes" after Blur.
  const char* endText;
  bool endIsPrefix;
  std::size_t sliderCount;
  std::string_view missingTitle;
};

const PaletteShape& shapeOf(const std::string& section) {
  static const PaletteShape kPrimariesShape{kPrimariesTitlePrefix, kBlurTitlePrefix, true, 15,
                                            messages::kColorBarsUnavailable};
  static const PaletteShape kBlurShape{kBlurTitlePrefix, kScopesTitle, false, 9,
                                       messages::kBlurUnavailable};
  if (section == kPrimaries) return kPrimariesShape;
  if (section == kBlur) return kBlurShape;
  throw ColorError(std::string(messages::kUnknownSection));
}

}  // namespace

bool isStaticText(const ax::Element& element) { return element.role.is(ax::RoleKind::kStaticText); }

bool isSlider(const ax::Element& element) { return element.role.is(ax::RoleKind::kSlider); }

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

PaletteSnapshot palette(ax::Walk& nodes, const std::string& section) {
  PaletteSnapshot snapshot = paletteRun(nodes, section);
  const std::size_t expected = expectedSliders(section);
  if (snapshot.sliders.size() != expected) {
    throw ColorError(messages::controlsChanged(section, expected, snapshot.sliders.size()));
  }
  return snapshot;
}

std::size_t expectedSliders(const std::string& section) { return shapeOf(section).sliderCount; }

PaletteSnapshot paletteRun(ax::Walk& nodes, const std::string& section) {
  const PaletteShape& shape = shapeOf(section);
  const auto title = nodes.find(0, [&](const ax::Element& e) {
    return isStaticText(e) && startsWith(e.text(), shape.titlePrefix);
  });
  if (!title) throw ColorError(std::string(shape.missingTitle));

  const auto end = nodes.find(*title + 1, [&](const ax::Element& e) {
    if (!isStaticText(e)) return false;
    const std::string text = e.text();
    return shape.endIsPrefix ? startsWith(text, shape.endText) : text == shape.endText;
  });

  // Without an end the run reaches the end of the walk, which the search for
  // one has read.
  const auto& read = nodes.elements();
  PaletteSnapshot snapshot;
  snapshot.nodes.assign(read.begin() + static_cast<std::ptrdiff_t>(*title),
                        read.begin() + static_cast<std::ptrdiff_t>(end.value_or(read.size())));
  std::copy_if(snapshot.nodes.begin(), snapshot.nodes.end(), std::back_inserter(snapshot.sliders),
               isSlider);
  return snapshot;
}

}  // namespace trovemark::color
