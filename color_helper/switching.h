#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "color_helper/accessibility/element.h"

namespace trovemark::color {

// Makes the palette of `section` show in the window, in its Color Bars mode
// for "primaries" and in the mode check box described `mode` ("Blur" or
// "Sharpen") for any other section, pressing Resolve's check boxes where
// needed. Gives the walk of the window taken after the last press (or the
// first walk when nothing was pressed). Throws ColorError when the window
// does not show the Color page or a control is missing or refuses a press.
// Switched modes stay switched.
ax::Walk showPalette(ax::Accessibility& ax, const ax::ElementRef& window,
                     const std::string& section, const std::string& mode);

// The check box showPalette presses next on a walk of the window, by its
// place in the walk; none when the palette and mode show already. Presses
// nothing; throws ColorError as showPalette does for a window that cannot
// show them.
struct PaletteSwitch {
  std::size_t checkBox;
  bool opensPalette;  // the Blur palette's own check box: the mode comes after
};
std::optional<PaletteSwitch> nextSwitch(ax::Walk& walk, const std::string& section,
                                        const std::string& mode);

}  // namespace trovemark::color
