#pragma once

// Cutting one Color palette out of a walk of Resolve's window.

#include <cstddef>
#include <string>
#include <vector>

#include "color_helper/accessibility/element.h"

namespace trovemark::color {

inline constexpr const char* kPrimaries = "primaries";
inline constexpr const char* kBlur = "blur";

// Labels of Resolve's Color page.
inline constexpr const char* kColorPageTitlePrefix = "Primaries - ";
inline constexpr const char* kPrimariesTitlePrefix = "Primaries - Color Bars";
inline constexpr const char* kBlurTitlePrefix = "Blur - ";
inline constexpr const char* kScopesTitle = "Scopes";
inline constexpr const char* kColorBarsCheckBox = "Color Bars";
inline constexpr const char* kBlurCheckBox = "Blur";

// One palette as Resolve showed it: its run of the walk, from its title text
// up to the next palette's title, and the sliders of that run in walk order.
// A slider's place in `sliders` is how everything else addresses it.
struct PaletteSnapshot {
  std::vector<ax::Element> nodes;
  std::vector<ax::Element> sliders;
};

// The palette of `section` in a walk of the window. Throws ColorError for an
// unknown section, a missing title, or a slider count other than the one the
// section's value positions rely on. Reads the walk up to the palette's end.
PaletteSnapshot palette(ax::Walk& nodes, const std::string& section);

// The palette's run as palette() cuts it, whatever its slider count: for
// telling what Resolve shows apart from what the helper expects. Throws
// ColorError for an unknown section or a missing title.
PaletteSnapshot paletteRun(ax::Walk& nodes, const std::string& section);
// The number of sliders every value position of `section` relies on.
std::size_t expectedSliders(const std::string& section);

// Helpers shared by the code that reads walks.
bool isStaticText(const ax::Element& element);
bool isSlider(const ax::Element& element);
bool startsWith(const std::string& text, const std::string& prefix);

}  // namespace trovemark::color
