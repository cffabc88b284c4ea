#pragma once

// The element layer: what the Color logic uses to read Resolve's window and to
// operate its controls. Everything goes through the port passed in, so the
// logic runs unchanged against the desktop and against a substitute tree.

#include <cstddef>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::ax {

// Every walk of a window stops after this many snapshots.
inline constexpr std::size_t kDefaultWalkLimit = 1800;

// The roles of Resolve's Color page that the Color logic tells apart.
inline constexpr const char* kStaticText = "AXStaticText";
inline constexpr const char* kSlider = "AXSlider";
inline constexpr const char* kCheckBox = "AXCheckBox";
inline constexpr const char* kButton = "AXButton";

// What the Color logic consults of each role: the text of static texts, the
// description and value of check boxes, the description of buttons and the
// value of sliders. Every other node is only a role and its children.
const ReadingPlan& colorPagePlan();

// What the user hears when Resolve refuses an operation.
inline constexpr std::string_view kPressRefused = "Resolve did not activate that Color control";
inline constexpr std::string_view kSetRefused = "Resolve did not accept the Color adjustment";

// A walk of a window, read as far as it is looked at: a list whose snapshots
// are read when first reached, in pre-order, with the backend reading ahead.
// Searching it reads up to the first match; only a search that finds nothing,
// or a look at its end, reads it to its end. Iterators stay valid while the
// walk lives, moves included, and it may be iterated any number of times.
class Walk {
  struct State;

 public:
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Element;
    using difference_type = std::ptrdiff_t;
    using pointer = const Element*;
    using reference = const Element&;

    Iterator() = default;
    reference operator*() const;
    pointer operator->() const { return &**this; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++index_;
      return before;
    }
    bool operator==(const Iterator& other) const;

   private:
    friend class Walk;
    Iterator(State* state, std::size_t index) : state_(state), index_(index) {}
    bool atEnd() const;
    State* state_ = nullptr;
    std::size_t index_ = 0;
  };

  // A walk with nothing in it.
  Walk();
  // A walk read from `source` as it is looked at.
  explicit Walk(std::unique_ptr<WalkSource> source);
  // A walk already read.
  explicit Walk(std::vector<Element> elements);
  Walk(Walk&&) noexcept;
  Walk& operator=(Walk&&) noexcept;
  ~Walk();

  Iterator begin() const { return Iterator(state_.get(), 0); }
  Iterator end() const { return Iterator(state_.get(), kEnd); }
  bool empty() const { return begin() == end(); }
  // Reads the walk to its end.
  std::vector<Element> toVector() const;

 private:
  static constexpr std::size_t kEnd = static_cast<std::size_t>(-1);
  std::unique_ptr<State> state_;
};

// One attribute of `ref`; absent on any platform error or when nothing came back.
std::optional<AttributeValue> attribute(Accessibility& ax, const ElementRef& ref,
                                        const std::string& name);

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
