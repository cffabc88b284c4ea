#include "color_helper/accessibility/ax_mac.h"

#include <ApplicationServices/ApplicationServices.h>

#include <algorithm>
#include <memory>

namespace trovemark::ax::mac {

namespace {

struct Releaser {
  void operator()(const void* object) const {
    if (object != nullptr) CFRelease(object);
  }
};
// One reference owned under the Create or Copy rule, released on every path.
using Owned = std::unique_ptr<const void, Releaser>;

// One live element. Holds one reference, taken over from its creator.
class MacElement final : public ElementHandle {
 public:
  explicit MacElement(AXUIElementRef ref) : ref_(ref) {}
  ~MacElement() override {
    if (ref_ != nullptr) CFRelease(ref_);
  }
  MacElement(const MacElement&) = delete;
  MacElement& operator=(const MacElement&) = delete;
  AXUIElementRef ref() const { return ref_; }

 private:
  AXUIElementRef ref_;
};

AXUIElementRef refOf(const ElementRef& element) {
  const auto* handle = dynamic_cast<const MacElement*>(element.get());
  return handle != nullptr ? handle->ref() : nullptr;
}

// A handle that keeps `ref` retained on its own behalf.
ElementRef retainedHandle(AXUIElementRef ref) {
  CFRetain(ref);
  return std::make_shared<MacElement>(ref);
}

std::string textOf(CFStringRef string) {
  const CFRange all = CFRangeMake(0, CFStringGetLength(string));
  CFIndex size = 0;
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &size);
  std::string text(static_cast<std::size_t>(size), '\0');
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false,
                   reinterpret_cast<UInt8*>(text.data()), size, &size);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

bool isElement(CFTypeRef value) { return CFGetTypeID(value) == AXUIElementGetTypeID(); }

// A list of elements, each handle retaining its own; none for anything else.
std::optional<std::vector<ElementRef>> elementsOf(CFTypeRef value) {
  if (CFGetTypeID(value) != CFArrayGetTypeID()) return std::nullopt;
  const auto array = static_cast<CFArrayRef>(value);
  const CFIndex count = CFArrayGetCount(array);
  for (CFIndex i = 0; i < count; ++i) {
    if (!isElement(CFArrayGetValueAtIndex(array, i))) return std::nullopt;
  }
  std::vector<ElementRef> elements;
  elements.reserve(static_cast<std::size_t>(count));
  for (CFIndex i = 0; i < count; ++i) {
    elements.push_back(
        retainedHandle(static_cast<AXUIElementRef>(CFArrayGetValueAtIndex(array, i))));
  }
  return elements;
}

Value valueOf(CFTypeRef value) {
  const CFTypeID type = CFGetTypeID(value);
  if (type == CFStringGetTypeID()) return textOf(static_cast<CFStringRef>(value));
  if (type == CFNumberGetTypeID()) {
    double number = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &number);
    return number;
  }
  if (type == CFBooleanGetTypeID()) return OtherValue{"boolean"};
  if (type == AXValueGetTypeID()) return OtherValue{"AXValue"};
  if (type == CFArrayGetTypeID()) return OtherValue{"array"};
  if (type == AXUIElementGetTypeID()) return OtherValue{"element"};
  return OtherValue{"object"};
}

// Sets `attribute` of `reading` from what the platform handed back (null for
// nothing). The value stays the caller's; handles made from it retain their
// elements.
void fill(Reading& reading, Attribute attribute, CFTypeRef value) {
  if (value == nullptr) return;
  const bool text = CFGetTypeID(value) == CFStringGetTypeID();
  switch (attribute) {
    case Attribute::kRole:
      if (text) reading.role = macRole(textOf(static_cast<CFStringRef>(value)));
      return;
    case Attribute::kDescription:
      if (text) reading.description = textOf(static_cast<CFStringRef>(value));
      return;
    case Attribute::kValue:
      reading.value = valueOf(value);
      return;
    case Attribute::kChildren:
      reading.children = elementsOf(value);
      return;
    case Attribute::kWindows:
      reading.windows = elementsOf(value);
      return;
    case Attribute::kFocusedWindow:
      if (isElement(value))
        reading.focusedWindow = retainedHandle(static_cast<AXUIElementRef>(value));
      return;
  }
}

// One entry of a multiple read: null when it is no value or an error.
CFTypeRef entryOf(CFTypeRef value) {
  if (value == nullptr || CFGetTypeID(value) == CFNullGetTypeID()) return nullptr;
  if (CFGetTypeID(value) == AXValueGetTypeID() &&
      AXValueGetType(static_cast<AXValueRef>(value)) == kAXValueTypeAXError) {
    return nullptr;
  }
  return value;
}

// The platform's name of each attribute the port reads.
CFStringRef nameOf(Attribute attribute) {
  switch (attribute) {
    case Attribute::kRole:
      return kAXRoleAttribute;
    case Attribute::kDescription:
      return kAXDescriptionAttribute;
    case Attribute::kValue:
      return kAXValueAttribute;
    case Attribute::kChildren:
      return kAXChildrenAttribute;
    case Attribute::kFocusedWindow:
      return kAXFocusedWindowAttribute;
    case Attribute::kWindows:
      return kAXWindowsAttribute;
  }
  return nullptr;
}

constexpr Attribute kNodeAttributes[] = {Attribute::kRole, Attribute::kDescription,
                                         Attribute::kValue, Attribute::kChildren};
constexpr Attribute kAllAttributes[] = {Attribute::kRole,          Attribute::kDescription,
                                        Attribute::kValue,         Attribute::kChildren,
                                        Attribute::kFocusedWindow, Attribute::kWindows};

// Calls the application, unless it already counts as not answering in this
// request: then the call fails at once, as it would after the timeout. The
// wait is charged to the request's budget.
template <typename Call>
AXError ask(Clock& clock, WaitBudget& budget, Call&& call) {
  if (budget.spent()) return kAXErrorCannotComplete;
  const Clock::TimePoint start = clock.now();
  const AXError error = call();
  const Clock::Duration waited = clock.now() - start;
  budget.charge(waited);
  if (error == kAXErrorCannotComplete && waited >= kTimedOut) budget.exhaust();
  return error;
}

// Errors with which an application says it does not implement the multiple
// read; anything else is its answer for the node.
bool notImplemented(AXError error) {
  return error == kAXErrorNotImplemented || error == kAXErrorIllegalArgument;
}

// A node's four attributes in one round trip. Leaves them to single reads
// only where the application does not implement the call, or answers it with
// other than one entry per attribute.
void readAllOfNode(Clock& clock, WaitBudget& budget, AXUIElementRef ref, Reading& reading) {
  const void* names[std::size(kNodeAttributes)];
  for (std::size_t i = 0; i < std::size(kNodeAttributes); ++i)
    names[i] = nameOf(kNodeAttributes[i]);
  const auto count = static_cast<CFIndex>(std::size(kNodeAttributes));
  const Owned attributes(CFArrayCreate(nullptr, names, count, &kCFTypeArrayCallBacks));
  if (!attributes) return;
  CFArrayRef values = nullptr;
  const AXError error = ask(clock, budget, [&] {
    return AXUIElementCopyMultipleAttributeValues(ref, static_cast<CFArrayRef>(attributes.get()), 0,
                                                  &values);
  });
  const Owned owned(values);
  if (notImplemented(error)) return;
  if (error == kAXErrorSuccess) {
    if (values == nullptr || CFArrayGetCount(values) != count) return;
    for (CFIndex i = 0; i < count; ++i)
      fill(reading, kNodeAttributes[i], entryOf(CFArrayGetValueAtIndex(values, i)));
  }
  // Any other failure is the node's as a whole, and asking again attribute by
  // attribute would only wait on it four times more.
  for (Attribute attribute : kNodeAttributes) reading.covered |= attribute;
}

}  // namespace

bool Accessibility::isProcessTrusted() { return AXIsProcessTrusted(); }

std::vector<ProcessId> Accessibility::runningApplications(const Application& application) {
  listedIdentifier_ = application.bundleIdentifier;
  listed_ = runningProcessIds(application.bundleIdentifier);
  return listed_;
}

std::string Accessibility::registeredName(ProcessId pid) {
  return std::find(listed_.begin(), listed_.end(), pid) != listed_.end() ? listedIdentifier_
                                                                         : std::string();
}

ElementRef Accessibility::applicationElement(ProcessId pid) {
  return std::make_shared<MacElement>(AXUIElementCreateApplication(static_cast<pid_t>(pid)));
}

Reading Accessibility::read(const ElementRef& element, Attributes attributes) {
  Reading reading;
  const AXUIElementRef ref = refOf(element);
  if (ref == nullptr) {
    reading.covered = attributes;
    return reading;
  }
  std::size_t ofNode = 0;
  for (Attribute attribute : kNodeAttributes) ofNode += attributes.has(attribute) ? 1 : 0;
  if (ofNode > 1) readAllOfNode(clock_, budget_, ref, reading);
  for (Attribute attribute : kAllAttributes) {
    if (!attributes.has(attribute) || reading.covered.has(attribute)) continue;
    CFTypeRef value = nullptr;
    const AXError error = ask(clock_, budget_, [&] {
      return AXUIElementCopyAttributeValue(ref, nameOf(attribute), &value);
    });
    // Whatever came back is ours to release, also alongside an error.
    const Owned owned(value);
    if (error == kAXErrorSuccess) fill(reading, attribute, value);
    reading.covered |= attribute;
  }
  return reading;
}

bool Accessibility::setValue(const ElementRef& element, double value) {
  const AXUIElementRef ref = refOf(element);
  if (ref == nullptr) return false;
  const Owned number(CFNumberCreate(nullptr, kCFNumberDoubleType, &value));
  if (!number) return false;
  return ask(clock_, budget_, [&] {
           return AXUIElementSetAttributeValue(ref, kAXValueAttribute, number.get());
         }) == kAXErrorSuccess;
}

bool Accessibility::press(const ElementRef& element) {
  const AXUIElementRef ref = refOf(element);
  return ref != nullptr && ask(clock_, budget_, [&] {
                             return AXUIElementPerformAction(ref, kAXPressAction);
                           }) == kAXErrorSuccess;
}

bool Accessibility::sameElement(const ElementRef& a, const ElementRef& b) {
  const AXUIElementRef left = refOf(a);
  const AXUIElementRef right = refOf(b);
  return left != nullptr && right != nullptr && CFEqual(left, right);
}

}  // namespace trovemark::ax::mac
