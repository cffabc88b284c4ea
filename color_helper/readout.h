#pragma once

#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"
#include "color_helper/palette.h"

namespace trovemark::color {

// The numbers the palette shows, in rows. Blur: three rows of three, the
// sliders' values divided by 100. Primaries (any other section): rows of 4,
// 4, 4 and 3, each read from the numeric texts Resolve shows after the
// group's last slider. Throws ColorError when a Primaries readout cannot be
// found or shows too few numbers. The port only compares element identity.
std::vector<std::vector<double>> displayValues(ax::Accessibility& ax,
                                               const PaletteSnapshot& palette,
                                               const std::string& section);

}  // namespace trovemark::color
