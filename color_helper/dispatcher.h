#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"
#include "color_helper/messages.h"
#include "color_helper/palette.h"
#include "color_helper/protocol.h"

namespace trovemark::color {

// Value positions: for each position of a section, the index of its slider in
// the palette's `sliders`. Responses, "nudge" keys and "reset" rows all count
// in positions, whatever order Resolve lists the sliders in.
inline constexpr std::array<std::size_t, 15> kPrimariesPositions{0, 3,  2,  1, 4,  7,  6, 5,
                                                                 8, 11, 10, 9, 14, 13, 12};
inline constexpr std::array<std::size_t, 9> kBlurPositions{0, 1, 2, 3, 4, 5, 6, 7, 8};

// One row that "reset" returns to its default: consecutive positions.
struct ResetRow {
  std::size_t firstPosition;
  std::size_t positionCount;
  double target;
};
inline constexpr std::array<ResetRow, 4> kPrimariesResetRows{
    {{0, 4, 0}, {4, 4, 0}, {8, 4, 700}, {12, 3, 0}}};
inline constexpr std::array<ResetRow, 3> kBlurResetRows{{{0, 3, 50}, {3, 3, 50}, {6, 3, 25}}};

inline constexpr std::size_t kMaxNudgeEntries = 4;
inline constexpr double kMaxNudgeMagnitude = 100;
inline constexpr std::chrono::milliseconds kSettleDeadline{1500};
inline constexpr std::chrono::milliseconds kSettlePollInterval{100};
inline constexpr double kSettleTolerance = 0.001;

// Resolve's Reset buttons ("AXButton" described "Reset") and channel-link
// check boxes (check boxes without a description) in a palette's run, in
// walk order: the n-th of each belongs to row n.
std::vector<ax::Element> resetButtons(const PaletteSnapshot& snapshot);
std::vector<ax::Element> channelLinks(const PaletteSnapshot& snapshot);

// A "nudge" key: an optional single sign, then one or more ASCII digits and
// nothing else, within 64 bits. Leading zeros are allowed, and "-0" is 0.
std::optional<std::int64_t> parsePositionKey(const std::string& key);

// Performs one request against Resolve: checks the section and the
// accessibility permission, finds the window, shows the palette and its mode,
// then runs the action and reads the palette back. Throws ColorError, its own
// or that of the step that failed, in the words of `platform` where they
// differ by platform; nothing done in Resolve is undone.
Response run(ax::Accessibility& ax, ax::Clock& clock, const Request& request,
             const messages::PlatformMessages& platform);

}  // namespace trovemark::color
