#include "color_helper/accessibility/element.h"

#include <utility>

#include "color_helper/color_error.h"

namespace trovemark::ax {

const ReadingPlan& colorPagePlan() {
  static const ReadingPlan plan = ReadingPlan::only({
      {RoleKind::kStaticText, Attribute::kValue},
      {RoleKind::kCheckBox, Attribute::kDescription | Attribute::kValue},
      {RoleKind::kButton, Attribute::kDescription},
      {RoleKind::kSlider, Attribute::kValue},
  });
  return plan;
}

bool Walk::readOne() {
  if (!source_) return false;
  auto element = source_->next();
  if (!element) {
    // Ended: stop reading, and let the backend drop what it read ahead.
    source_.reset();
    return false;
  }
  read_.push_back(std::move(*element));
  return true;
}

std::optional<std::size_t> Walk::find(std::size_t from, const Match& match) {
  for (std::size_t i = from;; ++i) {
    if (i >= read_.size() && (readUpTo(i + 1) <= i)) return std::nullopt;
    if (match(read_[i])) return i;
  }
}

std::size_t Walk::readUpTo(std::size_t count) {
  while (read_.size() < count && readOne()) {
  }
  return read_.size();
}

const std::vector<Element>& Walk::readAll() {
  while (readOne()) {
  }
  return read_;
}

std::optional<AttributeValue> attribute(Accessibility& ax, const ElementRef& ref,
                                        Attribute attribute) {
  Reading reading = ax.read(ref, attribute);
  switch (attribute) {
    case Attribute::kRole:
      if (reading.role.is(RoleKind::kNone)) return std::nullopt;
      return std::move(reading.role);
    case Attribute::kDescription:
      if (!reading.description) return std::nullopt;
      return std::move(*reading.description);
    case Attribute::kValue:
      return std::visit(
          [](auto&& v) -> std::optional<AttributeValue> {
            if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::monostate>) {
              return std::nullopt;
            } else {
              return std::move(v);
            }
          },
          std::move(reading.value));
    case Attribute::kChildren:
      if (!reading.children) return std::nullopt;
      return std::move(*reading.children);
    case Attribute::kFocusedWindow:
      if (!reading.focusedWindow) return std::nullopt;
      return std::move(reading.focusedWindow);
    case Attribute::kWindows:
      if (!reading.windows) return std::nullopt;
      return std::move(*reading.windows);
  }
  return std::nullopt;
}

Element element(Accessibility& ax, const ElementRef& ref) {
  Reading reading = ax.read(ref, Attribute::kRole | Attribute::kDescription | Attribute::kValue);
  return {ref, std::move(reading.role), reading.description.value_or(std::string()),
          std::move(reading.value)};
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
