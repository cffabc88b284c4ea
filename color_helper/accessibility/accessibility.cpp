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

// The macOS names of the kinds callers tell apart.
struct KindName {
  RoleKind kind;
  std::string_view name;
};
constexpr KindName kKindNames[] = {
    {RoleKind::kStaticText, "AXStaticText"},
    {RoleKind::kButton, "AXButton"},
    {RoleKind::kCheckBox, "AXCheckBox"},
    {RoleKind::kSlider, "AXSlider"},
};

// The children a walk follows: a list of element handles. A list with a null
// entry is not one, and makes the node a leaf rather than hand a null handle
// back to the backend.
const std::vector<ElementRef>* walkableChildren(const Reading& reading) {
  if (!reading.children) return nullptr;
  const auto& list = *reading.children;
  if (std::find(list.begin(), list.end(), nullptr) != list.end()) return nullptr;
  return &list;
}

const Attributes kNodeAttributes =
    Attribute::kRole | Attribute::kDescription | Attribute::kValue | Attribute::kChildren;

// The walk every backend gets unless it knows better, with an explicit stack
// so that a pathologically deep tree cannot exhaust the call stack.
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
    Reading reading = ax_.read(node, Attribute::kRole | Attribute::kChildren);
    const Attributes more = plan_.attributesFor(reading.role) - reading.covered - Attribute::kRole -
                            Attribute::kChildren;
    if (!more.empty()) {
      Reading rest = ax_.read(node, more);
      if (more.has(Attribute::kDescription)) reading.description = std::move(rest.description);
      if (more.has(Attribute::kValue)) reading.value = std::move(rest.value);
      reading.covered |= more;
    }
    if (const auto* children = walkableChildren(reading)) {
      // Pushed in reverse so that they pop in list order.
      pending_.insert(pending_.end(), children->rbegin(), children->rend());
    }
    Element element{std::move(node), std::move(reading.role), std::nullopt, std::nullopt};
    if (reading.covered.has(Attribute::kDescription)) {
      element.description = reading.description.value_or(std::string());
    }
    if (reading.covered.has(Attribute::kValue)) element.value = std::move(reading.value);
    return element;
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

Role macRole(std::string_view name) {
  if (name.empty()) return {};
  for (const auto& [kind, known] : kKindNames) {
    if (known == name) return {kind, std::string(name)};
  }
  return {RoleKind::kOther, std::string(name)};
}

std::string macRoleName(const Role& role) {
  for (const auto& [kind, known] : kKindNames) {
    if (kind == role.kind) return std::string(known);
  }
  return role.name;
}

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

std::string Element::text() const {
  if (value) {
    if (const auto* text = std::get_if<std::string>(&*value)) return *text;
  }
  return {};
}

double Element::number() const {
  if (!value) return 0;
  if (const auto* number = std::get_if<double>(&*value)) return *number;
  if (const auto* text = std::get_if<std::string>(&*value)) return parseNumber(*text).value_or(0);
  return 0;
}

const std::string& Element::describedAs() const {
  static const std::string kNone;
  return description ? *description : kNone;
}

ReadingPlan ReadingPlan::everything() {
  ReadingPlan plan;
  plan.everything_ = true;
  return plan;
}

ReadingPlan ReadingPlan::only(std::vector<std::pair<RoleKind, Attributes>> kinds) {
  ReadingPlan plan;
  plan.kinds_ = std::move(kinds);
  return plan;
}

Attributes ReadingPlan::attributesFor(const Role& role) const {
  if (everything_) return kNodeAttributes;
  Attributes attributes = Attribute::kRole | Attribute::kChildren;
  for (const auto& [kind, extra] : kinds_) {
    if (kind == role.kind) attributes |= extra;
  }
  return attributes;
}

std::unique_ptr<WalkSource> Accessibility::walk(const ElementRef& root, std::size_t limit,
                                                const ReadingPlan& plan) {
  return std::make_unique<NodeByNodeWalk>(*this, root, limit, plan);
}

Clock::TimePoint SystemClock::now() {
  return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
}

void SystemClock::sleep(Duration d) { std::this_thread::sleep_for(d); }

}  // namespace trovemark::ax
