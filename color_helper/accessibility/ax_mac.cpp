#include "color_helper/accessibility/ax_mac.h"

#include <ApplicationServices/ApplicationServices.h>

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

// How a value handed back by the platform reads through the port. The value
// stays the caller's; handles made from it retain their elements.
AttributeValue toAttribute(CFTypeRef value) {
  const CFTypeID type = CFGetTypeID(value);
  if (type == CFStringGetTypeID()) return textOf(static_cast<CFStringRef>(value));
  if (type == CFNumberGetTypeID()) {
    double number = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &number);
    return number;
  }
  if (type == AXUIElementGetTypeID()) return retainedHandle(static_cast<AXUIElementRef>(value));
  if (type == CFArrayGetTypeID()) {
    const auto array = static_cast<CFArrayRef>(value);
    const CFIndex count = CFArrayGetCount(array);
    for (CFIndex i = 0; i < count; ++i) {
      if (!isElement(CFArrayGetValueAtIndex(array, i))) return OtherValue{"array"};
    }
    std::vector<ElementRef> elements;
    elements.reserve(static_cast<std::size_t>(count));
    for (CFIndex i = 0; i < count; ++i) {
      elements.push_back(
          retainedHandle(static_cast<AXUIElementRef>(CFArrayGetValueAtIndex(array, i))));
    }
    return elements;
  }
  if (type == CFBooleanGetTypeID()) return OtherValue{"boolean"};
  if (type == AXValueGetTypeID()) return OtherValue{"AXValue"};
  return OtherValue{"object"};
}

// One entry of a multiple read: missing when it is no value or an error.
std::optional<AttributeValue> entryOf(CFTypeRef value) {
  if (value == nullptr || CFGetTypeID(value) == CFNullGetTypeID()) return std::nullopt;
  if (CFGetTypeID(value) == AXValueGetTypeID() &&
      AXValueGetType(static_cast<AXValueRef>(value)) == kAXValueTypeAXError) {
    return std::nullopt;
  }
  return toAttribute(value);
}

}  // namespace

bool Accessibility::isProcessTrusted() { return AXIsProcessTrusted(); }

std::vector<ProcessId> Accessibility::runningApplications(const std::string& bundleIdentifier) {
  return runningProcessIds(bundleIdentifier);
}

ElementRef Accessibility::applicationElement(ProcessId pid) {
  return std::make_shared<MacElement>(AXUIElementCreateApplication(static_cast<pid_t>(pid)));
}

std::optional<AttributeValue> Accessibility::attribute(const ElementRef& element,
                                                       const std::string& name) {
  const AXUIElementRef ref = refOf(element);
  if (ref == nullptr) return std::nullopt;
  const Owned attribute(CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8));
  if (!attribute) return std::nullopt;
  CFTypeRef value = nullptr;
  const AXError error =
      AXUIElementCopyAttributeValue(ref, static_cast<CFStringRef>(attribute.get()), &value);
  // Whatever came back is ours to release, also alongside an error.
  const Owned owned(value);
  if (error != kAXErrorSuccess || value == nullptr) return std::nullopt;
  return toAttribute(value);
}

bool Accessibility::setValue(const ElementRef& element, double value) {
  const AXUIElementRef ref = refOf(element);
  if (ref == nullptr) return false;
  const Owned number(CFNumberCreate(nullptr, kCFNumberDoubleType, &value));
  if (!number) return false;
  return AXUIElementSetAttributeValue(ref, kAXValueAttribute, number.get()) == kAXErrorSuccess;
}

bool Accessibility::press(const ElementRef& element) {
  const AXUIElementRef ref = refOf(element);
  return ref != nullptr && AXUIElementPerformAction(ref, kAXPressAction) == kAXErrorSuccess;
}

bool Accessibility::sameElement(const ElementRef& a, const ElementRef& b) {
  const AXUIElementRef left = refOf(a);
  const AXUIElementRef right = refOf(b);
  return left != nullptr && right != nullptr && CFEqual(left, right);
}

NodeReading Accessibility::readNode(const ElementRef& element, Fields fields) {
  const AXUIElementRef ref = refOf(element);
  const void* names[] = {kAXRoleAttribute, kAXDescriptionAttribute, kAXValueAttribute,
                         kAXChildrenAttribute};
  constexpr CFIndex kCount = 4;
  const Owned attributes(
      ref != nullptr ? CFArrayCreate(nullptr, names, kCount, &kCFTypeArrayCallBacks) : nullptr);
  CFArrayRef values = nullptr;
  const AXError error = attributes ? AXUIElementCopyMultipleAttributeValues(
                                         ref, static_cast<CFArrayRef>(attributes.get()), 0, &values)
                                   : kAXErrorIllegalArgument;
  const Owned owned(values);
  // A call that failed as a whole says nothing of single attributes: an
  // application that does not implement it, or a moment it could not answer.
  if (error != kAXErrorSuccess || values == nullptr || CFArrayGetCount(values) != kCount) {
    return ax::Accessibility::readNode(element, fields);
  }
  NodeReading reading;
  reading.fields = kAllFields;
  reading.role = entryOf(CFArrayGetValueAtIndex(values, 0));
  reading.description = entryOf(CFArrayGetValueAtIndex(values, 1));
  reading.value = entryOf(CFArrayGetValueAtIndex(values, 2));
  reading.children = entryOf(CFArrayGetValueAtIndex(values, 3));
  return reading;
}

}  // namespace trovemark::ax::mac
