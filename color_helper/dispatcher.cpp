#include "color_helper/dispatcher.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "color_helper/accessibility/element.h"
#include "color_helper/color_error.h"
#include "color_helper/messages.h"
#include "color_helper/palette.h"
#include "color_helper/readout.h"
#include "color_helper/switching.h"
#include "color_helper/window.h"

namespace trovemark::color {

namespace {

inline constexpr const char* kNudge = "nudge";
inline constexpr const char* kReset = "reset";
inline constexpr const char* kStatus = "status";
inline constexpr const char* kResetDescription = "Reset";
inline constexpr const char* kBlurMode = "Blur";
inline constexpr const char* kSharpenMode = "Sharpen";

// What the actions need to know of one section.
struct SectionTables {
  std::span<const std::size_t> positions;
  std::span<const ResetRow> resetRows;
};

SectionTables tablesOf(const std::string& section) {
  if (section == kPrimaries) return {kPrimariesPositions, kPrimariesResetRows};
  return {kBlurPositions, kBlurResetRows};
}

[[noreturn]] void fail(std::string_view message) { throw ColorError(std::string(message)); }

const ax::Element& sliderAt(const PaletteSnapshot& snapshot, const SectionTables& tables,
                            std::size_t position) {
  return snapshot.sliders.at(tables.positions[position]);
}

PaletteSnapshot reread(ax::Accessibility& ax, const ax::ElementRef& window,
                       const std::string& section) {
  ax::Walk walk = ax::flatten(ax, window);
  return palette(walk, section);
}

struct Change {
  std::size_t position;
  double delta;
};

// The whole of `changes` is checked before any slider moves.
std::vector<Change> validatedChanges(const Request& request, const SectionTables& tables) {
  if (!request.changes || request.changes->empty() || request.changes->size() > kMaxNudgeEntries) {
    fail(messages::kInvalidAdjustment);
  }
  std::vector<Change> changes;
  for (const auto& [key, delta] : *request.changes) {
    const auto position = parsePositionKey(key);
    if (!position || *position < 0 ||
        static_cast<std::uint64_t>(*position) >= tables.positions.size()) {
      fail(messages::kInvalidAdjustment);
    }
    if (!std::isfinite(delta) || std::fabs(delta) > kMaxNudgeMagnitude) {
      fail(messages::kInvalidAdjustment);
    }
    changes.push_back({static_cast<std::size_t>(*position), delta});
  }
  std::stable_sort(changes.begin(), changes.end(),
                   [](const Change& a, const Change& b) { return a.position < b.position; });
  return changes;
}

PaletteSnapshot nudge(ax::Accessibility& ax, const ax::ElementRef& window, const Request& request,
                      const SectionTables& tables, const PaletteSnapshot& snapshot) {
  // Every entry starts from the value read before any change, so two keys
  // naming one position do not add up: the one applied last wins.
  for (const Change& change : validatedChanges(request, tables)) {
    const ax::Element& slider = sliderAt(snapshot, tables, change.position);
    ax::set(ax, slider, slider.number() + change.delta);
  }
  return reread(ax, window, request.section);
}

std::vector<ax::Element> collect(const std::vector<ax::Element>& nodes, ax::RoleKind role,
                                 const std::string& description) {
  std::vector<ax::Element> found;
  std::copy_if(nodes.begin(), nodes.end(), std::back_inserter(found), [&](const ax::Element& e) {
    return e.role.is(role) && e.describedAs() == description;
  });
  return found;
}

// Sets a Blur row's three sliders with its channel link off, so that setting
// one slider does not drag the others along.
void resetBlurRow(ax::Accessibility& ax, const PaletteSnapshot& snapshot, std::size_t index,
                  double target) {
  const auto links = channelLinks(snapshot);
  if (links.size() <= index) fail(messages::kChannelLinkUnavailable);
  const ax::Element& link = links[index];
  const bool linked = link.number() == 1;
  if (linked) ax::press(ax, link);
  for (std::size_t i = 0; i < 3; ++i) {
    const ax::Element& slider = snapshot.sliders.at(3 * index + i);
    try {
      ax::set(ax, slider, target);
    } catch (const ColorError&) {
      // Put the link back as well as Resolve lets us; the refusal is what
      // the user needs to hear about.
      if (linked) ax.press(link.ref);
      throw;
    }
  }
  if (linked) ax::press(ax, link);
}

bool settled(const PaletteSnapshot& snapshot, const SectionTables& tables, const ResetRow& row) {
  for (std::size_t p = row.firstPosition; p < row.firstPosition + row.positionCount; ++p) {
    // Written so that a NaN never counts as reached.
    if (!(std::fabs(sliderAt(snapshot, tables, p).number() - row.target) < kSettleTolerance)) {
      return false;
    }
  }
  return true;
}

PaletteSnapshot reset(ax::Accessibility& ax, ax::Clock& clock, const ax::ElementRef& window,
                      const Request& request, const SectionTables& tables,
                      const PaletteSnapshot& snapshot) {
  const auto buttons = resetButtons(snapshot);
  const auto& index = request.index;
  if (!index || *index < 0 || static_cast<std::uint64_t>(*index) >= tables.resetRows.size() ||
      static_cast<std::uint64_t>(*index) >= buttons.size()) {
    fail(messages::kResetUnavailable);
  }
  const auto row = static_cast<std::size_t>(*index);
  const ResetRow& resetRow = tables.resetRows[row];

  if (request.section == kPrimaries) {
    ax::press(ax, buttons[row]);
  } else {
    resetBlurRow(ax, snapshot, row, resetRow.target);
  }

  // Resolve shows a reset a moment later; wait for it, but not for long, and
  // answer with whatever the last read found.
  const auto deadline = clock.now() + kSettleDeadline;
  PaletteSnapshot current;
  do {
    clock.sleep(kSettlePollInterval);
    current = reread(ax, window, request.section);
  } while (!settled(current, tables, resetRow) && clock.now() < deadline);
  return current;
}

}  // namespace

std::vector<ax::Element> resetButtons(const PaletteSnapshot& snapshot) {
  return collect(snapshot.nodes, ax::RoleKind::kButton, kResetDescription);
}

std::vector<ax::Element> channelLinks(const PaletteSnapshot& snapshot) {
  return collect(snapshot.nodes, ax::RoleKind::kCheckBox, "");
}

std::optional<std::int64_t> parsePositionKey(const std::string& key) {
  std::size_t digitsStart = 0;
  if (!key.empty() && (key[0] == '+' || key[0] == '-')) digitsStart = 1;
  if (digitsStart == key.size()) return std::nullopt;
  for (std::size_t i = digitsStart; i < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') return std::nullopt;
  }
  // from_chars takes a minus sign but not a plus.
  const char* begin = key.data() + (key[0] == '+' ? 1 : 0);
  const char* end = key.data() + key.size();
  std::int64_t value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

Response run(ax::Accessibility& ax, ax::Clock& clock, const Request& request,
             const messages::PlatformMessages& platform) {
  const std::string& section = request.section;
  if (section != kPrimaries && section != kBlur) fail(messages::kUnknownSection);
  if (!ax.isProcessTrusted()) fail(platform.notTrusted);
  const ax::ElementRef window = currentWindow(ax);
  const std::string mode = request.mode == kBlurMode ? kBlurMode : kSharpenMode;
  ax::Walk shown = showPalette(ax, window, section, mode);
  PaletteSnapshot snapshot = palette(shown, section);
  const SectionTables tables = tablesOf(section);

  if (request.action == kNudge) {
    snapshot = nudge(ax, window, request, tables, snapshot);
  } else if (request.action == kReset) {
    snapshot = reset(ax, clock, window, request, tables, snapshot);
  } else if (request.action != kStatus) {
    fail(messages::kUnknownAction);
  }

  Response response;
  response.section = section;
  for (std::size_t p = 0; p < tables.positions.size(); ++p) {
    response.values.push_back(sliderAt(snapshot, tables, p).number());
  }
  response.display = displayValues(ax, snapshot, section);
  return response;
}

}  // namespace trovemark::color
