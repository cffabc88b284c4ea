// The simulated Core Foundation, accessibility and SystemConfiguration calls
// (see simulation.h and the headers under include/).

#include "testing/macos/simulation.h"

#include <ApplicationServices/ApplicationServices.h>
#include <SystemConfiguration/SystemConfiguration.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "color_helper/accessibility/ax_mac.h"

namespace {

enum class Kind : CFTypeID {
  kString = 7,
  kNull = 16,
  kDictionary = 18,
  kArray = 19,
  kBoolean = 21,
  kNumber = 22,
  kURL = 29,
  kBundle = 31,
  kElement = 140,
  kAXValue = 141,
};

const char* nameOf(Kind kind) {
  switch (kind) {
    case Kind::kString:
      return "CFString";
    case Kind::kNull:
      return "CFNull";
    case Kind::kDictionary:
      return "CFDictionary";
    case Kind::kArray:
      return "CFArray";
    case Kind::kBoolean:
      return "CFBoolean";
    case Kind::kNumber:
      return "CFNumber";
    case Kind::kURL:
      return "CFURL";
    case Kind::kBundle:
      return "CFBundle";
    case Kind::kElement:
      return "AXUIElement";
    case Kind::kAXValue:
      return "AXValue";
  }
  return "?";
}

[[noreturn]] void fault(const char* what, const void* object) {
  std::fprintf(stderr, "macOS simulation: %s (%p)\n", what, object);
  std::abort();
}

// Every object: its kind and reference count. Process-lifetime objects
// (constants, the main bundle) start with one reference of their own that a
// caller must never release.
struct Object {
  explicit Object(Kind k, bool forever = false) : kind(k), immortal(forever) {}
  virtual ~Object() = default;
  Kind kind;
  bool immortal;
  long count = 1;
};

// Objects alive now, those of the process's lifetime included.
std::unordered_set<const Object*>& alive() {
  static std::unordered_set<const Object*> set;
  return set;
}

template <typename T, typename... Args>
T* make(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  alive().insert(object);
  return object;
}

const Object* checked(CFTypeRef cf, const char* call) {
  const auto* object = static_cast<const Object*>(cf);
  if (cf == nullptr || alive().count(object) == 0) fault(call, cf);
  return object;
}

template <typename T>
const T* as(CFTypeRef cf, Kind kind, const char* call) {
  const Object* object = checked(cf, call);
  if (object->kind != kind) fault(call, cf);
  return static_cast<const T*>(object);
}

void release(const Object* object) {
  auto* mutableObject = const_cast<Object*>(object);
  if (object->immortal && object->count == 1) {
    fault("CFRelease of a reference the caller does not own", object);
  }
  if (--mutableObject->count == 0) {
    alive().erase(object);
    delete object;
  }
}

trovemark::macsim::World* current = nullptr;

trovemark::macsim::World& world() {
  if (current == nullptr) fault("no simulation session", nullptr);
  return *current;
}

}  // namespace

struct __CFString : Object {
  explicit __CFString(std::string t, bool forever = false)
      : Object(Kind::kString, forever), text(std::move(t)) {}
  std::string text;
};
struct __CFNumber : Object {
  explicit __CFNumber(double v) : Object(Kind::kNumber), value(v) {}
  double value;
};
struct __CFBoolean : Object {
  __CFBoolean() : Object(Kind::kBoolean, true) {}
};
struct __CFNull : Object {
  __CFNull() : Object(Kind::kNull, true) {}
};
// Holds one reference to each of its items.
struct __CFArray : Object {
  __CFArray() : Object(Kind::kArray) {}
  ~__CFArray() override {
    for (const void* item : items) release(static_cast<const Object*>(item));
  }
  std::vector<const void*> items;
};
struct __CFDictionary : Object {
  __CFDictionary() : Object(Kind::kDictionary) {}
  ~__CFDictionary() override {
    for (const auto& [key, value] : entries) {
      release(static_cast<const Object*>(key));
      release(static_cast<const Object*>(value));
    }
  }
  std::vector<std::pair<const void*, const void*>> entries;
};
struct __CFURL : Object {
  explicit __CFURL(std::string p) : Object(Kind::kURL), path(std::move(p)) {}
  std::string path;
};
struct __CFBundle : Object {
  __CFBundle() : Object(Kind::kBundle, true) {}
};
// One scene node or application. Each read hands out new objects, as the
// platform does; CFEqual tells whether two name the same element.
struct __AXUIElement : Object {
  __AXUIElement(trovemark::ax::ElementRef h, std::optional<pid_t> p)
      : Object(Kind::kElement), handle(std::move(h)), pid(p) {}
  trovemark::ax::ElementRef handle;
  std::optional<pid_t> pid;  // set for an application element
};
struct __AXValue : Object {
  __AXValue(AXValueType t, AXError e) : Object(Kind::kAXValue), type(t), error(e) {}
  AXValueType type;
  AXError error;
};

namespace {

__CFBoolean* const trueObject = make<__CFBoolean>();
__CFBoolean* const falseObject = make<__CFBoolean>();
__CFNull* const nullObject = make<__CFNull>();
__CFBundle* const mainBundle = make<__CFBundle>();

std::unordered_map<std::string, __CFString*>& constants() {
  static std::unordered_map<std::string, __CFString*> table;
  return table;
}

const std::string& textOf(CFStringRef string, const char* call) {
  return as<__CFString>(string, Kind::kString, call)->text;
}

// --- The accessibility tree over the scene ------------------------------------

using trovemark::ax::AttributeValue;
using trovemark::macsim::Failure;

bool isElementLevel(Failure failure) {
  return failure != Failure::kAttributeUnsupported && failure != Failure::kNoValue;
}

const void* elementObject(const trovemark::ax::ElementRef& handle) {
  return make<__AXUIElement>(handle, std::nullopt);
}

const void* toObject(const AttributeValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return make<__CFString>(*text);
  if (const auto* number = std::get_if<double>(&value)) return make<__CFNumber>(*number);
  if (const auto* handle = std::get_if<trovemark::ax::ElementRef>(&value)) {
    return elementObject(*handle);
  }
  if (const auto* list = std::get_if<std::vector<trovemark::ax::ElementRef>>(&value)) {
    auto* array = make<__CFArray>();
    for (const auto& handle : *list) array->items.push_back(elementObject(handle));
    return array;
  }
  // Another type: the scene's booleans become CFBooleans, its lists arrays
  // of numbers, anything else a point.
  const auto& kind = std::get<trovemark::ax::OtherValue>(value).kind;
  if (kind == "boolean") return CFRetain(kCFBooleanTrue);
  if (kind == "array") {
    auto* array = make<__CFArray>();
    array->items.push_back(make<__CFNumber>(1));
    return array;
  }
  return make<__AXValue>(kAXValueCGPointType, kAXErrorSuccess);
}

// The error of an element as a whole, before any attribute is looked at.
AXError elementError(const __AXUIElement& element) {
  auto& w = world();
  if (w.scene == nullptr || !w.scene->isProcessTrusted()) return kAXErrorAPIDisabled;
  if (element.pid) {
    const auto first = trovemark::scene::Scene::kFirstProcessId;
    const bool known = *element.pid >= first && static_cast<std::size_t>(*element.pid - first) <
                                                    w.scene->model().applicationCount();
    return known ? kAXErrorSuccess : kAXErrorCannotComplete;
  }
  const auto node = w.scene->nodeOf(element.handle);
  if (!node) return kAXErrorInvalidUIElement;
  // An element whose node is hidden has gone; due effects decide which.
  w.scene->model().advanceToNow();
  if (!w.scene->model().isShown(*node)) return kAXErrorInvalidUIElement;
  if (const auto it = w.failingReads.find(*node);
      it != w.failingReads.end() && isElementLevel(it->second)) {
    return static_cast<AXError>(it->second);
  }
  return kAXErrorSuccess;
}

// One attribute of an element whose elementError() is success: a new object
// (the caller's), or null with the error.
const void* readAttribute(const __AXUIElement& element, const std::string& name, AXError* error) {
  auto& w = world();
  const auto node = w.scene->nodeOf(element.handle);
  if (node) {
    if (const auto it = w.failingReads.find(*node); it != w.failingReads.end()) {
      *error = static_cast<AXError>(it->second);
      return nullptr;
    }
  }
  // The scene applies its due effects before it answers.
  if (auto value = w.scene->attribute(element.handle, name)) {
    *error = kAXErrorSuccess;
    return toObject(*value);
  }
  if (node && !w.scene->model().isShown(*node)) {
    *error = kAXErrorInvalidUIElement;
    return nullptr;
  }
  const bool supported =
      node ? (name == "AXRole" || name == "AXDescription" || name == "AXValue" ||
              name == "AXChildren")
           : (name == "AXRole" || name == "AXFocusedWindow" || name == "AXWindows");
  *error = supported ? kAXErrorNoValue : kAXErrorAttributeUnsupported;
  return nullptr;
}

const __AXUIElement& elementOf(AXUIElementRef element, const char* call) {
  return *as<__AXUIElement>(element, Kind::kElement, call);
}

}  // namespace

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {0};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0};
const CFBooleanRef kCFBooleanTrue = trueObject;
const CFBooleanRef kCFBooleanFalse = falseObject;
const CFNullRef kCFNull = nullObject;
CFStringRef kAXTrustedCheckOptionPrompt = CFSTR("AXTrustedCheckOptionPrompt");

CFTypeRef CFRetain(CFTypeRef cf) {
  ++const_cast<Object*>(checked(cf, "CFRetain of an object that is not alive"))->count;
  return cf;
}

void CFRelease(CFTypeRef cf) { release(checked(cf, "CFRelease of an object with no references")); }

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
  const Object* a = checked(cf1, "CFEqual of an object that is not alive");
  const Object* b = checked(cf2, "CFEqual of an object that is not alive");
  if (a == b) return true;
  if (a->kind != b->kind) return false;
  switch (a->kind) {
    case Kind::kString:
      return static_cast<const __CFString*>(a)->text == static_cast<const __CFString*>(b)->text;
    case Kind::kNumber:
      return static_cast<const __CFNumber*>(a)->value == static_cast<const __CFNumber*>(b)->value;
    case Kind::kElement:
      return world().scene != nullptr &&
             world().scene->sameElement(static_cast<const __AXUIElement*>(a)->handle,
                                        static_cast<const __AXUIElement*>(b)->handle);
    default:
      return false;
  }
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
  return static_cast<CFTypeID>(checked(cf, "CFGetTypeID of an object that is not alive")->kind);
}
CFTypeID CFStringGetTypeID(void) { return static_cast<CFTypeID>(Kind::kString); }
CFTypeID CFNumberGetTypeID(void) { return static_cast<CFTypeID>(Kind::kNumber); }
CFTypeID CFBooleanGetTypeID(void) { return static_cast<CFTypeID>(Kind::kBoolean); }
CFTypeID CFNullGetTypeID(void) { return static_cast<CFTypeID>(Kind::kNull); }
CFTypeID CFArrayGetTypeID(void) { return static_cast<CFTypeID>(Kind::kArray); }
CFTypeID AXUIElementGetTypeID(void) { return static_cast<CFTypeID>(Kind::kElement); }
CFTypeID AXValueGetTypeID(void) { return static_cast<CFTypeID>(Kind::kAXValue); }

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  auto& table = constants();
  auto it = table.find(cStr);
  if (it == table.end()) it = table.emplace(cStr, make<__CFString>(cStr, true)).first;
  return it->second;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  if (cStr == nullptr || encoding != kCFStringEncodingUTF8) return nullptr;
  return make<__CFString>(cStr);
}

// Lengths are counted in bytes here: the helper's texts are ASCII, and the
// adapter asks for whole strings only.
CFIndex CFStringGetLength(CFStringRef theString) {
  return static_cast<CFIndex>(textOf(theString, "CFStringGetLength of a dead object").size());
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8,
                         Boolean, UInt8* buffer, CFIndex maxBufLen, CFIndex* usedBufLen) {
  const std::string& text = textOf(theString, "CFStringGetBytes of a dead object");
  if (encoding != kCFStringEncodingUTF8 || range.location < 0 || range.length < 0 ||
      static_cast<std::size_t>(range.location + range.length) > text.size()) {
    fault("CFStringGetBytes outside the string", theString);
  }
  CFIndex n = range.length;
  if (buffer != nullptr && maxBufLen < n) n = maxBufLen;
  if (buffer != nullptr) std::memcpy(buffer, text.data() + range.location, n);
  if (usedBufLen != nullptr) *usedBufLen = n;
  return n;
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  if (theType != kCFNumberDoubleType) fault("CFNumberCreate of an unsimulated type", valuePtr);
  return make<__CFNumber>(*static_cast<const double*>(valuePtr));
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  const auto* object = as<__CFNumber>(number, Kind::kNumber, "CFNumberGetValue of no number");
  if (theType != kCFNumberDoubleType) fault("CFNumberGetValue of an unsimulated type", number);
  *static_cast<double*>(valuePtr) = object->value;
  return true;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
  if (callBacks != &kCFTypeArrayCallBacks) fault("CFArrayCreate without type callbacks", values);
  auto* array = make<__CFArray>();
  for (CFIndex i = 0; i < numValues; ++i) array->items.push_back(CFRetain(values[i]));
  return array;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  return static_cast<CFIndex>(
      as<__CFArray>(theArray, Kind::kArray, "CFArrayGetCount")->items.size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  const auto& items = as<__CFArray>(theArray, Kind::kArray, "CFArrayGetValueAtIndex")->items;
  if (idx < 0 || static_cast<std::size_t>(idx) >= items.size()) {
    fault("CFArrayGetValueAtIndex out of bounds", theArray);
  }
  return items[static_cast<std::size_t>(idx)];
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  if (keyCallBacks != &kCFTypeDictionaryKeyCallBacks ||
      valueCallBacks != &kCFTypeDictionaryValueCallBacks) {
    fault("CFDictionaryCreate without type callbacks", keys);
  }
  auto* dictionary = make<__CFDictionary>();
  for (CFIndex i = 0; i < numValues; ++i) {
    dictionary->entries.emplace_back(CFRetain(keys[i]), CFRetain(values[i]));
  }
  return dictionary;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
  for (const auto& [k, v] :
       as<__CFDictionary>(theDict, Kind::kDictionary, "CFDictionaryGetValue")->entries) {
    if (CFEqual(k, key)) return v;
  }
  return nullptr;
}

CFBundleRef CFBundleGetMainBundle(void) { return mainBundle; }

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName) {
  as<__CFBundle>(bundle, Kind::kBundle, "CFBundleCopyResourceURL of no bundle");
  if (subDirName != nullptr) fault("CFBundleCopyResourceURL in a subfolder", subDirName);
  const std::string path = world().resourceFolder + "/" + textOf(resourceName, "resource name") +
                           "." + textOf(resourceType, "resource type");
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  return make<__CFURL>(path);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex maxBufLen) {
  const std::string& path = as<__CFURL>(url, Kind::kURL, "CFURLGetFileSystemRepresentation")->path;
  if (static_cast<CFIndex>(path.size()) + 1 > maxBufLen) return false;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return true;
}

CFStringRef SCDynamicStoreCopyLocalHostName(SCDynamicStoreRef) {
  const auto& name = world().localHostName;
  return name ? make<__CFString>(*name) : nullptr;
}

Boolean AXIsProcessTrusted(void) {
  auto& w = world();
  ++w.roundTrips;
  return w.scene != nullptr ? w.scene->isProcessTrusted() : w.trusted;
}

Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options) {
  auto& w = world();
  ++w.roundTrips;
  const void* prompt =
      options != nullptr ? CFDictionaryGetValue(options, kAXTrustedCheckOptionPrompt) : nullptr;
  w.trustPrompts.push_back(prompt == kCFBooleanTrue);
  return w.trusted;
}

AXUIElementRef AXUIElementCreateApplication(pid_t pid) {
  auto& w = world();
  ++w.roundTrips;
  trovemark::ax::ElementRef handle =
      w.scene != nullptr ? w.scene->applicationElement(pid) : nullptr;
  return make<__AXUIElement>(std::move(handle), pid);
}

AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value) {
  const __AXUIElement& target = elementOf(element, "AXUIElementCopyAttributeValue");
  const std::string& name = textOf(attribute, "AXUIElementCopyAttributeValue attribute");
  if (value == nullptr) return kAXErrorIllegalArgument;
  ++world().roundTrips;
  if (const AXError error = elementError(target); error != kAXErrorSuccess) return error;
  AXError error = kAXErrorSuccess;
  *value = readAttribute(target, name, &error);
  return error;
}

AXError AXUIElementCopyMultipleAttributeValues(AXUIElementRef element, CFArrayRef attributes,
                                               AXCopyMultipleAttributeOptions options,
                                               CFArrayRef* values) {
  const __AXUIElement& target = elementOf(element, "AXUIElementCopyMultipleAttributeValues");
  const auto& names = as<__CFArray>(attributes, Kind::kArray, "attribute names")->items;
  if (values == nullptr) return kAXErrorIllegalArgument;
  ++world().roundTrips;
  if (const AXError error = elementError(target); error != kAXErrorSuccess) return error;
  auto* array = make<__CFArray>();
  for (const void* name : names) {
    AXError error = kAXErrorSuccess;
    const void* value =
        readAttribute(target, textOf(static_cast<CFStringRef>(name), "attribute name"), &error);
    if (error != kAXErrorSuccess && (options & kAXCopyMultipleAttributeOptionStopOnError) != 0) {
      release(array);
      return error;
    }
    if (value == nullptr) {
      value = error == kAXErrorNoValue
                  ? CFRetain(kCFNull)
                  : static_cast<const void*>(make<__AXValue>(kAXValueAXErrorType, error));
    }
    array->items.push_back(value);
  }
  *values = array;
  return kAXErrorSuccess;
}

AXError AXUIElementSetAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                     CFTypeRef value) {
  const __AXUIElement& target = elementOf(element, "AXUIElementSetAttributeValue");
  const std::string& name = textOf(attribute, "AXUIElementSetAttributeValue attribute");
  ++world().roundTrips;
  if (world().scene == nullptr || !world().scene->isProcessTrusted()) return kAXErrorAPIDisabled;
  if (name != "AXValue") return kAXErrorAttributeUnsupported;
  if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID()) {
    return kAXErrorIllegalArgument;
  }
  const double number = static_cast<const __CFNumber*>(value)->value;
  if (world().scene->setValue(target.handle, number)) return kAXErrorSuccess;
  const auto node = world().scene->nodeOf(target.handle);
  return node && !world().scene->model().isShown(*node) ? kAXErrorInvalidUIElement
                                                        : kAXErrorCannotComplete;
}

AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action) {
  const __AXUIElement& target = elementOf(element, "AXUIElementPerformAction");
  const std::string& name = textOf(action, "AXUIElementPerformAction action");
  ++world().roundTrips;
  if (world().scene == nullptr || !world().scene->isProcessTrusted()) return kAXErrorAPIDisabled;
  if (name != "AXPress") return kAXErrorActionUnsupported;
  if (world().scene->press(target.handle)) return kAXErrorSuccess;
  const auto node = world().scene->nodeOf(target.handle);
  return node && !world().scene->model().isShown(*node) ? kAXErrorInvalidUIElement
                                                        : kAXErrorCannotComplete;
}

AXValueType AXValueGetType(AXValueRef value) {
  return as<__AXValue>(value, Kind::kAXValue, "AXValueGetType")->type;
}

}  // extern "C"

// NSRunningApplication, for the helper: the scene's running instances.
namespace trovemark::ax::mac {

std::vector<ProcessId> runningProcessIds(const std::string& bundleIdentifier) {
  auto& w = world();
  if (w.scene == nullptr) return {};
  return w.scene->runningApplications(bundleIdentifier);
}

}  // namespace trovemark::ax::mac

namespace trovemark::macsim {

namespace {
std::unique_ptr<World> installed;
}

Session::Session() {
  if (installed) fault("a second simulation session", nullptr);
  installed = std::make_unique<World>();
  current = installed.get();
}

Session::~Session() {
  current = nullptr;
  installed.reset();
}

World& Session::world() { return *installed; }

std::string unreleased() {
  std::map<std::string, int> held;
  for (const Object* object : alive()) {
    if (!object->immortal) {
      ++held[nameOf(object->kind)];
    } else if (object->count != 1) {
      held[std::string("retained ") + nameOf(object->kind) + " constant"] +=
          static_cast<int>(object->count - 1);
    }
  }
  std::string text;
  for (const auto& [name, n] : held) {
    text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + name;
  }
  return text;
}

}  // namespace trovemark::macsim
