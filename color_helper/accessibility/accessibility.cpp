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

// The children a walk follows: a list of element handles. A list with a null
// entry is not one, and makes the node a leaf rather than hand a null handle
// back to the backend.
const std::vector<ElementRef>* walkableChildren(const std::optional<AttributeValue>& children) {
  if (!children) return nullptr;
  const auto* list = std::get_if<std::vector<ElementRef>>(&*children);
  if (list == nullptr || std::find(list->begin(), list->end(), nullptr) != list->end()) {
    return nullptr;
  }
  return list;
}

// The walk every backend gets unless it knows better: one node at a time,
// each read as the plan asks, with an explicit stack so that a
// pathologically deep tree cannot exhaust the call stack.
class NodeByNodeWalk final : public WalkSource {
 public:
  NodeByNodeWalk(Accessibility& ax, const ElementRef& root, std::size_t limit,
                 const ReadingPlan& plan)
      : ax_(ax), limit_(limit), plan_(plan) {
    if (root) pending_.push_back(root);
  }

  std::optional<Element> next() override {
    if (pending_.empty() || produced_ >= limit_) return std::nullopt;
    ElementRef node = std::move(pending_.back());
    pending_.pop_back();
    ++produced_;
    NodeReading reading = ax_.readNode(node, kRoleField | kChildrenField);
    std::string role = asText(reading.role);
    const Fields wanted = plan_.fieldsFor(role) & ~reading.fields;
    if ((wanted & (kDescriptionField | kValueField)) != 0) {
      NodeReading more = ax_.readNode(node, wanted & (kDescriptionField | kValueField));
      if ((more.fields & kDescriptionField) != 0 && (reading.fields & kDescriptionField) == 0) {
        reading.description = std::move(more.description);
        reading.fields |= kDescriptionField;
      }
      if ((more.fields & kValueField) != 0 && (reading.fields & kValueField) == 0) {
        reading.value = std::move(more.value);
        reading.fields |= kValueField;
      }
    }
    if (const auto* children = walkableChildren(reading.children)) {
      // Pushed in reverse so that they pop in list order.
      pending_.insert(pending_.end(), children->rbegin(), children->rend());
    }
    return snapshotOf(std::move(node), std::move(role), reading, ax_);
  }

  static Element snapshotOf(ElementRef node, std::string role, NodeReading& reading,
                            Accessibility& ax) {
    std::optional<std::string> description;
    if ((reading.fields & kDescriptionField) != 0) description = asText(reading.description);
    std::optional<std::optional<AttributeValue>> value;
    if ((reading.fields & kValueField) != 0) value = std::move(reading.value);
    return Element::partial(std::move(node), std::move(role), std::move(description),
                            std::move(value), ax);
  }

 private:
  Accessibility& ax_;
  std::size_t limit_;
  ReadingPlan plan_;
  std::vector<ElementRef> pending_;
  std::size_t produced_ = 0;
};

class ListedWalk final : public WalkSource {
 public:
  explicit ListedWalk(std::vector<Element> elements) : elements_(std::move(elements)) {}
  std::optional<Element> next() override {
    if (next_ >= elements_.size()) return std::nullopt;
    return std::move(elements_[next_++]);
  }

 private:
  std::vector<Element> elements_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<WalkSource> listedWalk(std::vector<Element> elements) {
  return std::make_unique<ListedWalk>(std::move(elements));
}

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

std::string asText(const std::optional<AttributeValue>& value) {
  if (value) {
    if (const auto* text = std::get_if<std::string>(&*value)) return *text;
  }
  return {};
}

Element::Element(ElementRef ref, std::string role, std::string description,
                 std::optional<AttributeValue> value)
    : ref(std::move(ref)),
      role(std::move(role)),
      description_(std::move(description)),
      value_(std::move(value)) {}

Element Element::partial(ElementRef ref, std::string role, std::optional<std::string> description,
                         std::optional<std::optional<AttributeValue>> value,
                         Accessibility& source) {
  Element element;
  element.ref = std::move(ref);
  element.role = std::move(role);
  element.description_ = std::move(description);
  element.value_ = std::move(value);
  element.source_ = &source;
  return element;
}

const std::string& Element::description() const {
  if (!description_) {
    description_ = source_ && ref ? asText(source_->attribute(ref, kDescription)) : std::string();
  }
  return *description_;
}

const std::optional<AttributeValue>& Element::value() const {
  if (!value_) {
    value_.emplace(source_ && ref ? source_->attribute(ref, kValue) : std::nullopt);
  }
  return *value_;
}

std::string Element::text() const { return asText(value()); }

double Element::number() const {
  const auto& v = value();
  if (!v) return 0;
  if (const auto* number = std::get_if<double>(&*v)) return *number;
  if (const auto* text = std::get_if<std::string>(&*v)) return parseNumber(*text).value_or(0);
  return 0;
}

ReadingPlan ReadingPlan::everything() {
  ReadingPlan plan;
  plan.everything_ = true;
  return plan;
}

ReadingPlan ReadingPlan::only(std::vector<std::pair<std::string, Fields>> roles) {
  ReadingPlan plan;
  plan.roles_ = std::move(roles);
  return plan;
}

Fields ReadingPlan::fieldsFor(const std::string& role) const {
  if (everything_) return kAllFields;
  Fields fields = kRoleField | kChildrenField;
  for (const auto& [name, extra] : roles_) {
    if (name == role) fields |= extra;
  }
  return fields;
}

NodeReading Accessibility::readNode(const ElementRef& element, Fields fields) {
  NodeReading reading;
  reading.fields = fields & kAllFields;
  if ((fields & kRoleField) != 0) reading.role = attribute(element, kRole);
  if ((fields & kDescriptionField) != 0) reading.description = attribute(element, kDescription);
  if ((fields & kValueField) != 0) reading.value = attribute(element, kValue);
  if ((fields & kChildrenField) != 0) reading.children = attribute(element, kChildren);
  return reading;
}

std::unique_ptr<WalkSource> Accessibility::walk(const ElementRef& root, std::size_t limit,
                                                const ReadingPlan& plan) {
  return std::make_unique<NodeByNodeWalk>(*this, root, limit, plan);
}

std::vector<Element> Accessibility::flatten(const ElementRef& root, std::size_t limit,
                                            const ReadingPlan& plan) {
  std::vector<Element> list;
  auto source = walk(root, limit, plan);
  while (auto element = source->next()) list.push_back(std::move(*element));
  return list;
}

Clock::TimePoint SystemClock::now() {
  return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
}

void SystemClock::sleep(Duration d) { std::this_thread::sleep_for(d); }

}  // namespace trovemark::ax
