#include "color_helper/readout.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "color_helper/color_error.h"
#include "color_helper/messages.h"

namespace trovemark::color {

namespace {

constexpr std::size_t kBlurRows = 3;
constexpr std::size_t kBlurColumns = 3;
constexpr double kBlurScale = 100;
constexpr std::array<std::size_t, 4> kPrimariesGroupSizes{4, 4, 4, 3};

std::vector<std::vector<double>> blurRows(const PaletteSnapshot& palette) {
  std::vector<std::vector<double>> rows;
  for (std::size_t r = 0; r < kBlurRows; ++r) {
    std::vector<double> row;
    for (std::size_t c = 0; c < kBlurColumns; ++c) {
      row.push_back(palette.sliders.at(r * kBlurColumns + c).number() / kBlurScale);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::vector<double>> primariesRows(ax::Accessibility& ax,
                                               const PaletteSnapshot& palette) {
  const auto& nodes = palette.nodes;
  std::vector<std::vector<double>> rows;
  std::size_t groupStart = 0;
  for (std::size_t size : kPrimariesGroupSizes) {
    const ax::Element& anchor = palette.sliders.at(groupStart + size - 1);
    groupStart += size;

    auto it = std::find_if(nodes.begin(), nodes.end(),
                           [&](const ax::Element& e) { return ax.sameElement(e.ref, anchor.ref); });
    if (it == nodes.end()) throw ColorError(std::string(messages::kReadoutChanged));

    // Only what stands after the group's last slider and before the next
    // slider is the group's readout; numbers between its bars are not.
    std::vector<double> numbers;
    for (++it; it != nodes.end() && !isSlider(*it); ++it) {
      if (!isStaticText(*it)) continue;
      if (auto number = ax::parseNumber(it->text())) numbers.push_back(*number);
    }
    if (numbers.size() < size) throw ColorError(messages::readoutShort(numbers.size(), size));
    numbers.resize(size);
    rows.push_back(std::move(numbers));
  }
  return rows;
}

}  // namespace

std::vector<std::vector<double>> displayValues(ax::Accessibility& ax,
                                               const PaletteSnapshot& palette,
                                               const std::string& section) {
  if (section == kBlur) return blurRows(palette);
  return primariesRows(ax, palette);
}

}  // namespace trovemark::color
