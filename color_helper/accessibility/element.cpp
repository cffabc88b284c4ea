#include "color_helper/accessibility/element.h"

#include <utility>

#include "color_helper/color_error.h"
#include "color_helper/messages.h"

namespace trovemark::ax {

namespace {

std::string asText(const std::optional<AttributeValue>& value) {
  if (value) {
    if (const auto* text = std::get_if<std::string>(&*value)) return *text;
  }
  return {};
}

}  // namespace

std::optional<AttributeValue> attribute(Accessibility& ax, const ElementRef& ref,
                                        const std::string& name) {
  return ax.attribute(ref, name);
}

Element element(Accessibility& ax, const ElementRef& ref) {
  auto role = attribute(ax, ref, kRole);
  auto description = attribute(ax, ref, kDescription);
  auto value = attribute(ax, ref, kValue);
  return Element{ref, asText(role), asText(description), std::move(value)};
}

std::vector<Element> flatten(Accessibility& ax, const ElementRef& root, std::size_t limit) {
  return ax.flatten(root, limit);
}

void press(Accessibility& ax, const Element& element) {
  if (!ax.press(element.ref)) {
    throw color::ColorError(std::string(color::messages::kControlNotActivated));
  }
}

void set(Accessibility& ax, const Element& element, double value) {
  if (!ax.setValue(element.ref, value)) {
    throw color::ColorError(std::string(color::messages::kAdjustmentNotAccepted));
  }
}

}  // namespace trovemark::ax
