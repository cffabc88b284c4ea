#include "color_helper/accessibility/accessibility.h"

#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

namespace trovemark::ax {

namespace {

// The C locale, made once: the decimal point is always ".", whatever the
// user's locale says.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

bool isLeadingSpace(char c) {
  return c == '\0' || c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string asText(const std::optional<AttributeValue>& value) {
  if (value) {
    if (const auto* text = std::get_if<std::string>(&*value)) return *text;
  }
  return {};
}

}  // namespace

std::optional<double> parseNumber(const std::string& text) {
  if (text.empty() || isLeadingSpace(text.front())) return std::nullopt;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double parsed = strtod_l(begin, &end, cLocale());
  // The whole text must be the number; an embedded NUL stops strtod early and
  // so fails here too.
  if (end == begin || static_cast<std::size_t>(end - begin) != text.size()) return std::nullopt;
  return parsed;
}

std::string Element::text() const { return asText(value); }

double Element::number() const {
  if (!value) return 0;
  if (const auto* number = std::get_if<double>(&*value)) return *number;
  if (const auto* text = std::get_if<std::string>(&*value)) return parseNumber(*text).value_or(0);
  return 0;
}

NodeReading Accessibility::readNode(const ElementRef& element) {
  NodeReading reading;
  reading.role = attribute(element, kRole);
  reading.description = attribute(element, kDescription);
  reading.value = attribute(element, kValue);
  reading.children = attribute(element, kChildren);
  return reading;
}

std::vector<Element> Accessibility::flatten(const ElementRef& root, std::size_t limit) {
  std::vector<Element> list;
  if (!root) return list;
  // An explicit stack keeps a pathologically deep tree from exhausting the
  // call stack; children are pushed in reverse so they pop in list order.
  std::vector<ElementRef> pending{root};
  while (!pending.empty() && list.size() < limit) {
    ElementRef node = std::move(pending.back());
    pending.pop_back();
    NodeReading reading = readNode(node);
    list.push_back(
        Element{node, asText(reading.role), asText(reading.description), std::move(reading.value)});
    if (!reading.children) continue;
    auto* children = std::get_if<std::vector<ElementRef>>(&*reading.children);
    // A list with a null entry is not a list of elements: the node is a leaf,
    // rather than a walk that hands a null handle back to the backend.
    if (!children || std::find(children->begin(), children->end(), nullptr) != children->end()) {
      continue;
    }
    for (auto it = children->rbegin(); it != children->rend(); ++it) pending.push_back(*it);
  }
  return list;
}

Clock::TimePoint SystemClock::now() {
  return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
}

void SystemClock::sleep(Duration d) { std::this_thread::sleep_for(d); }

}  // namespace trovemark::ax
