#include "color_helper/accessibility/element.h"

#include <deque>
#include <utility>

#include "color_helper/color_error.h"

namespace trovemark::ax {

const ReadingPlan& colorPagePlan() {
  static const ReadingPlan plan = ReadingPlan::only({
      {kStaticText, kValueField},
      {kCheckBox, kDescriptionField | kValueField},
      {kButton, kDescriptionField},
      {kSlider, kValueField},
  });
  return plan;
}

struct Walk::State {
  std::unique_ptr<WalkSource> source;
  std::deque<Element> read;
  // Whether the element at `index` exists, reading up to it if needed.
  bool reach(std::size_t index);
};

bool Walk::State::reach(std::size_t index) {
  while (read.size() <= index && source) {
    auto element = source->next();
    if (!element) {
      // Ended: stop reading, and let the backend drop what it read ahead.
      source.reset();
      break;
    }
    read.push_back(std::move(*element));
  }
  return index < read.size();
}

const Element& Walk::Iterator::operator*() const { return state_->read[index_]; }

bool Walk::Iterator::atEnd() const {
  return state_ == nullptr || index_ == kEnd || !state_->reach(index_);
}

bool Walk::Iterator::operator==(const Iterator& other) const {
  const bool end = atEnd();
  const bool otherEnd = other.atEnd();
  if (end || otherEnd) return end == otherEnd;
  return index_ == other.index_;
}

Walk::Walk() : state_(std::make_unique<State>()) {}

Walk::Walk(Walk&&) noexcept = default;
Walk& Walk::operator=(Walk&&) noexcept = default;
Walk::~Walk() = default;

Walk::Walk(std::unique_ptr<WalkSource> source) : Walk() { state_->source = std::move(source); }

Walk::Walk(std::vector<Element> elements) : Walk() {
  state_->read.assign(std::make_move_iterator(elements.begin()),
                      std::make_move_iterator(elements.end()));
}

std::vector<Element> Walk::toVector() const { return std::vector<Element>(begin(), end()); }

std::optional<AttributeValue> attribute(Accessibility& ax, const ElementRef& ref,
                                        const std::string& name) {
  return ax.attribute(ref, name);
}

Walk flatten(Accessibility& ax, const ElementRef& root, std::size_t limit,
             const ReadingPlan& plan) {
  return Walk(ax.walk(root, limit, plan));
}

void press(Accessibility& ax, const Element& element) {
  if (!ax.press(element.ref)) throw color::ColorError(std::string(kPressRefused));
}

void set(Accessibility& ax, const Element& element, double value) {
  if (!ax.setValue(element.ref, value)) throw color::ColorError(std::string(kSetRefused));
}

}  // namespace trovemark::ax
