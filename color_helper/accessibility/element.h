#pragma once

// The element layer: what the Color logic uses to read Resolve's window and to
// operate its controls, in the helper's own terms (its reading plan, its walk
// limit, its messages). Everything goes through the port passed in, so the
// logic runs unchanged against the desktop and against a substitute tree.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::ax {

// Every walk of a window stops after this many snapshots.
inline constexpr std::size_t kDefaultWalkLimit = 1800;

// What the Color logic consults of each role: the text of static texts, the
// description and value of check boxes, the description of buttons and the
// value of sliders. Every other node is only a role and its children.
const ReadingPlan& colorPagePlan();

// What the user hears when Resolve refuses an operation.
inline constexpr std::string_view kPressRefused = "Resolve did not activate that Color control";
inline constexpr std::string_view kSetRefused = "Resolve did not accept the Color adjustment";

// A walk of a window, read only as far as it is asked to read: searching it
// reads up to the first match, and only a search that finds nothing, or
// readAll(), reads it to its end. Every read is one of the calls below;
// looking at what has been read (elements()) never reads.
class Walk {
 public:
  using Match = std::function<bool(const Element&)>;

  // A walk with nothing in it.
  Walk() = default;
  // A walk read from `source` as it is asked to.
  explicit Walk(std::unique_ptr<WalkSource> source) : source_(std::move(source)) {}
  // A walk already read.
  explicit Walk(std::vector<Element> elements) : read_(std::move(elements)) {}

  // Reads on until a snapshot at `from` or after it matches; its index, or
  // none when the walk ends first.
  std::optional<std::size_t> find(std::size_t from, const Match& match);
  // Reads on until the walk holds `count` snapshots or has ended; how many it
  // holds.
  std::size_t readUpTo(std::size_t count);
  // Reads the walk to its end.
  const std::vector<Element>& readAll();
  // The snapshots read so far, in pre-order. Reads nothing.
  const std::vector<Element>& elements() const { return read_; }

 private:
  bool readOne();

  std::unique_ptr<WalkSource> source_;
  std::vector<Element> read_;
};

// One attribute of `ref`, as the port reads it; absent on any platform error,
// or when nothing (or nothing of the attribute's type) came back. Roles come
// as Role, descriptions as text, values as they are, children and windows as
// lists of elements, the focused window as one element.
using AttributeValue =
    std::variant<Role, std::string, double, OtherValue, std::vector<ElementRef>, ElementRef>;
std::optional<AttributeValue> attribute(Accessibility& ax, const ElementRef& ref,
                                        Attribute attribute);

// A complete snapshot of `ref`: its role, description and value, read now.
Element element(Accessibility& ax, const ElementRef& ref);

// The pre-order walk from `root`, root first, at most `limit` snapshots, each
// read as `plan` asks. An unreadable subtree contributes nothing below its
// unreadable node.
Walk flatten(Accessibility& ax, const ElementRef& root, std::size_t limit = kDefaultWalkLimit,
             const ReadingPlan& plan = colorPagePlan());

// Performs "AXPress" on the live control. Throws ColorError(kPressRefused)
// when the platform refuses.
void press(Accessibility& ax, const Element& element);

// Sets the live control's "AXValue" to `value`, unchanged. Throws
// ColorError(kSetRefused) when the platform refuses.
void set(Accessibility& ax, const Element& element, double value);

}  // namespace trovemark::ax
