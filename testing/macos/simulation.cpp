// The simulated Core Foundation, accessibility and SystemConfiguration calls
// (see simulation.h and the headers under include/).

#include "testing/macos/simulation.h"

#include <ApplicationServices/ApplicationServices.h>
#include <SystemConfiguration/SystemConfiguration.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "color_helper/accessibility/ax_mac.h"

namespace {

namespace ax = trovemark::ax;
using trovemark::ax::ElementRef;

enum class Kind : CFTypeID {
  kString = 7,
  kNull = 16,
  kDictionary = 18,
  kArray = 19,
  kBoolean = 21,
  kNumber = 22,
  kURL = 29,
  kBundle = 31,
  kAXUIElement = 140,
  kAXValue = 141,
};

const std::map<Kind, const char*> kNames{
    {Kind::kString, "CFString"}, {Kind::kNull, "CFNull"},       {Kind::kDictionary, "CFDictionary"},
    {Kind::kArray, "CFArray"},   {Kind::kBoolean, "CFBoolean"}, {Kind::kNumber, "CFNumber"},
    {Kind::kURL, "CFURL"},       {Kind::kBundle, "CFBundle"},   {Kind::kAXUIElement, "AXUIElement"},
    {Kind::kAXValue, "AXValue"}};

[[noreturn]] void fault(const char* what, const void* object) {
  std::fprintf(stderr, "macOS simulation: %s (%p)\n", what, object);
  std::abort();
}

// Every object, whatever its type. Process-lifetime objects (constants, the
// main bundle) hold one reference of their own that no caller may release.
struct Object {
  Object(Kind k, bool forever) : kind(k), immortal(forever) {}

  Kind kind;
  bool immortal = false;
  long count = 1;
  std::string text;                // CFString, CFURL (its path)
  double number = 0;               // CFNumber
  std::vector<const void*> items;  // CFArray; CFDictionary as key, value, ...; one reference each
  ElementRef handle;               // AXUIElement: a scene node or application
  std::optional<pid_t> pid;        // AXUIElement of an application
  bool systemWide = false;         // AXUIElement: the system-wide element
  AXValueType valueType = 0;       // AXValue
};

// Never destroyed, so that the process-lifetime objects stay reachable to the
// very end, when the leak checker looks.
std::unordered_set<const Object*>& alive() {
  static auto* set = new std::unordered_set<const Object*>;
  return *set;
}

Object* make(Kind kind, bool immortal = false) {
  auto* object = new Object(kind, immortal);
  alive().insert(object);
  return object;
}

Object* makeText(std::string text, bool immortal = false) {
  Object* object = make(Kind::kString, immortal);
  object->text = std::move(text);
  return object;
}

const Object* checked(CFTypeRef cf, const char* call, std::optional<Kind> kind = std::nullopt) {
  const auto* object = static_cast<const Object*>(cf);
  if (cf == nullptr || alive().count(object) == 0) fault(call, cf);
  if (kind && object->kind != *kind) fault(call, cf);
  return object;
}

void release(const Object* object) {
  if (object->immortal && object->count == 1) {
    fault("CFRelease of a reference the caller does not own", object);
  }
  if (--const_cast<Object*>(object)->count == 0) {
    alive().erase(object);
    for (const void* item : object->items) release(static_cast<const Object*>(item));
    delete object;
  }
}

const Object* const trueObject = make(Kind::kBoolean, true);
const Object* const falseObject = make(Kind::kBoolean, true);
const Object* const nullObject = make(Kind::kNull, true);
Object* const mainBundle = make(Kind::kBundle, true);

trovemark::macsim::World* current = nullptr;

trovemark::macsim::World& world() {
  if (current == nullptr) fault("no simulation session", nullptr);
  return *current;
}

const std::string& textOf(CFTypeRef string, const char* call) {
  return checked(string, call, Kind::kString)->text;
}

// --- The accessibility tree over the scene ------------------------------------

Object* elementObject(ElementRef handle, std::optional<pid_t> pid = std::nullopt) {
  Object* element = make(Kind::kAXUIElement);
  element->handle = std::move(handle);
  element->pid = pid;
  return element;
}

Object* numberObject(double number) {
  Object* object = make(Kind::kNumber);
  object->number = number;
  return object;
}

const void* arrayOf(const std::vector<ElementRef>& handles) {
  Object* array = make(Kind::kArray);
  for (const auto& handle : handles) array->items.push_back(elementObject(handle));
  return array;
}

// A number as Qt's Cocoa bridge writes a slider's: the shortest text that
// reads back as the same double.
std::string numberText(double number) {
  char text[64];
  const auto end = std::to_chars(std::begin(text), std::end(text), number).ptr;
  return std::string(text, end);
}

// A new object for a value the scene holds, null for none: its numbers become
// CFNumbers (text when `numbersAsText`), its booleans CFBooleans, its lists
// arrays of numbers, any other value a point.
const void* toObject(const ax::Value& value, bool numbersAsText) {
  if (std::holds_alternative<std::monostate>(value)) return nullptr;
  if (const auto* text = std::get_if<std::string>(&value)) return makeText(*text);
  if (const auto* number = std::get_if<double>(&value)) {
    return numbersAsText ? makeText(numberText(*number)) : numberObject(*number);
  }
  const auto& kind = std::get<ax::OtherValue>(value).kind;
  if (kind == "boolean") return CFRetain(kCFBooleanTrue);
  if (kind == "array") {
    Object* array = make(Kind::kArray);
    array->items.push_back(numberObject(1));
    return array;
  }
  Object* point = make(Kind::kAXValue);
  point->valueType = kAXValueTypeCGPoint;
  return point;
}

bool isElementLevel(AXError failure) {
  return failure != kAXErrorAttributeUnsupported && failure != kAXErrorNoValue;
}

// The error of an element as a whole, before any attribute is looked at.
AXError elementError(const Object& element) {
  auto& w = world();
  if (w.scene == nullptr || !w.scene->isProcessTrusted()) return kAXErrorAPIDisabled;
  // An application's reads are the scene's: one that is not there answers nothing.
  if (element.pid) return kAXErrorSuccess;
  const auto node = w.scene->nodeOf(element.handle);
  if (!node) return kAXErrorInvalidUIElement;
  // An element whose node is hidden has gone; due effects decide which.
  w.scene->model().advanceToNow();
  if (!w.scene->model().isShown(*node)) return kAXErrorInvalidUIElement;
  const auto failing = w.failingReads.find(*node);
  if (failing != w.failingReads.end() && isElementLevel(failing->second)) {
    return failing->second;
  }
  return kAXErrorSuccess;
}

// One attribute of an element whose elementError() is success: a new object
// (the caller's), or null with the error.
const void* readAttribute(const Object& element, const std::string& name, AXError* error) {
  auto& w = world();
  const auto node = w.scene->nodeOf(element.handle);
  if (const auto failing = node ? w.failingReads.find(*node) : w.failingReads.end();
      failing != w.failingReads.end()) {
    *error = failing->second;
    return nullptr;
  }
  // What macOS would hand back for the name, from the scene's own reading.
  // The adapter takes an unsupported attribute as it takes one without a
  // value; failingReads gives the other error where a test needs it.
  const std::pair<const char*, ax::Attribute> kNames[] = {
      {"AXRole", ax::Attribute::kRole},
      {"AXDescription", ax::Attribute::kDescription},
      {"AXValue", ax::Attribute::kValue},
      {"AXChildren", ax::Attribute::kChildren},
      {"AXFocusedWindow", ax::Attribute::kFocusedWindow},
      {"AXWindows", ax::Attribute::kWindows}};
  const auto known = std::find_if(std::begin(kNames), std::end(kNames),
                                  [&](const auto& entry) { return name == entry.first; });
  const void* value = nullptr;
  if (known != std::end(kNames)) {
    ax::Reading reading = w.scene->read(element.handle, known->second);
    switch (known->second) {
      case ax::Attribute::kRole:
        if (!reading.role.is(ax::RoleKind::kNone)) value = makeText(ax::macRoleName(reading.role));
        break;
      case ax::Attribute::kDescription:
        if (reading.description) value = makeText(*reading.description);
        break;
      case ax::Attribute::kValue:
        // Sliders give their numbers as text, as Qt's Cocoa bridge does.
        value = toObject(
            reading.value,
            w.scene->read(element.handle, ax::Attribute::kRole).role.is(ax::RoleKind::kSlider));
        break;
      case ax::Attribute::kChildren:
        if (reading.children) value = arrayOf(*reading.children);
        break;
      case ax::Attribute::kWindows:
        if (reading.windows) value = arrayOf(*reading.windows);
        break;
      case ax::Attribute::kFocusedWindow:
        if (reading.focusedWindow) value = elementObject(reading.focusedWindow);
        break;
    }
  }
  *error = value ? kAXErrorSuccess : kAXErrorNoValue;
  return value;
}

// The process's messaging timeout: the last set on the system-wide element,
// or the system's default of about six seconds while none is.
std::chrono::nanoseconds messagingTimeout() {
  const auto& set = world().messagingTimeouts;
  if (set.empty() || set.back() == 0) return std::chrono::seconds(6);
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<float>(set.back()));
}

// One round trip to the application, with the time it takes on the test's
// clock. False when the application has stopped answering: the call has then
// waited out the messaging timeout.
bool answered() {
  auto& w = world();
  ++w.roundTrips;
  const bool hung = w.hangsAfterOperations && w.scene != nullptr &&
                    w.scene->operations().size() >= *w.hangsAfterOperations;
  if (hung) ++w.unanswered;
  if (w.clock != nullptr) w.clock->advance(hung ? messagingTimeout() : w.answerTime);
  return !hung;
}

}  // namespace

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {0};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0};
const CFBooleanRef kCFBooleanTrue = static_cast<CFBooleanRef>(static_cast<const void*>(trueObject));
const CFBooleanRef kCFBooleanFalse =
    static_cast<CFBooleanRef>(static_cast<const void*>(falseObject));
const CFNullRef kCFNull = static_cast<CFNullRef>(static_cast<const void*>(nullObject));
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
      return a->text == b->text;
    case Kind::kAXUIElement:
      return world().scene != nullptr && world().scene->sameElement(a->handle, b->handle);
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
CFTypeID AXUIElementGetTypeID(void) { return static_cast<CFTypeID>(Kind::kAXUIElement); }
CFTypeID AXValueGetTypeID(void) { return static_cast<CFTypeID>(Kind::kAXValue); }

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  static auto* constants = new std::unordered_map<std::string, const Object*>;
  auto& constant = (*constants)[cStr];
  if (constant == nullptr) constant = makeText(cStr, true);
  return static_cast<CFStringRef>(static_cast<const void*>(constant));
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  if (cStr == nullptr || encoding != kCFStringEncodingUTF8) return nullptr;
  return static_cast<CFStringRef>(static_cast<const void*>(makeText(cStr)));
}

// Lengths count bytes here, not UTF-16 units: the adapters only ever convert
// whole strings.
CFIndex CFStringGetLength(CFStringRef theString) {
  return static_cast<CFIndex>(textOf(theString, "CFStringGetLength").size());
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8,
                         Boolean, UInt8* buffer, CFIndex maxBufLen, CFIndex* usedBufLen) {
  const std::string& text = textOf(theString, "CFStringGetBytes");
  if (encoding != kCFStringEncodingUTF8) fault("CFStringGetBytes of another encoding", theString);
  const CFIndex n = buffer != nullptr ? std::min(range.length, maxBufLen) : range.length;
  if (buffer != nullptr) std::memcpy(buffer, text.data() + range.location, n);
  if (usedBufLen != nullptr) *usedBufLen = n;
  return n;
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  if (theType != kCFNumberDoubleType) fault("CFNumberCreate of an unsimulated type", valuePtr);
  return static_cast<CFNumberRef>(
      static_cast<const void*>(numberObject(*static_cast<const double*>(valuePtr))));
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  const Object* object = checked(number, "CFNumberGetValue", Kind::kNumber);
  if (theType != kCFNumberDoubleType) fault("CFNumberGetValue of an unsimulated type", number);
  *static_cast<double*>(valuePtr) = object->number;
  return true;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
  if (callBacks != &kCFTypeArrayCallBacks) fault("CFArrayCreate without type callbacks", values);
  Object* array = make(Kind::kArray);
  for (CFIndex i = 0; i < numValues; ++i) array->items.push_back(CFRetain(values[i]));
  return static_cast<CFArrayRef>(static_cast<const void*>(array));
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  return static_cast<CFIndex>(checked(theArray, "CFArrayGetCount", Kind::kArray)->items.size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  const auto& items = checked(theArray, "CFArrayGetValueAtIndex", Kind::kArray)->items;
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
  Object* dictionary = make(Kind::kDictionary);
  for (CFIndex i = 0; i < numValues; ++i) {
    dictionary->items.push_back(CFRetain(keys[i]));
    dictionary->items.push_back(CFRetain(values[i]));
  }
  return static_cast<CFDictionaryRef>(static_cast<const void*>(dictionary));
}

CFBundleRef CFBundleGetMainBundle(void) {
  return static_cast<CFBundleRef>(static_cast<void*>(mainBundle));
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName) {
  checked(bundle, "CFBundleCopyResourceURL of no bundle", Kind::kBundle);
  if (subDirName != nullptr) fault("CFBundleCopyResourceURL in a subfolder", subDirName);
  const std::string path = world().resourceFolder + "/" + textOf(resourceName, "resource name") +
                           "." + textOf(resourceType, "resource type");
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  Object* url = make(Kind::kURL);
  url->text = path;
  return static_cast<CFURLRef>(static_cast<const void*>(url));
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex maxBufLen) {
  const std::string& path = checked(url, "CFURLGetFileSystemRepresentation", Kind::kURL)->text;
  if (static_cast<CFIndex>(path.size()) + 1 > maxBufLen) return false;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return true;
}

CFStringRef SCDynamicStoreCopyLocalHostName(SCDynamicStoreRef) {
  const auto& name = world().localHostName;
  return name ? static_cast<CFStringRef>(static_cast<const void*>(makeText(*name))) : nullptr;
}

Boolean AXIsProcessTrusted(void) {
  auto& w = world();
  return w.scene != nullptr ? w.scene->isProcessTrusted() : w.trusted;
}

Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options) {
  auto& w = world();
  bool prompt = false;
  if (options != nullptr) {
    const auto& items = checked(options, "AXIsProcessTrustedWithOptions", Kind::kDictionary)->items;
    for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
      if (CFEqual(items[i], kAXTrustedCheckOptionPrompt)) prompt = items[i + 1] == kCFBooleanTrue;
    }
  }
  w.trustPrompts.push_back(prompt);
  return w.trusted;
}

AXUIElementRef AXUIElementCreateApplication(pid_t pid) {
  auto& w = world();
  ElementRef handle = w.scene != nullptr ? w.scene->applicationElement(pid) : nullptr;
  return static_cast<AXUIElementRef>(static_cast<const void*>(elementObject(handle, pid)));
}

AXUIElementRef AXUIElementCreateSystemWide(void) {
  Object* element = elementObject(nullptr);
  element->systemWide = true;
  return static_cast<AXUIElementRef>(static_cast<const void*>(element));
}

AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds) {
  const Object& target = *checked(element, "AXUIElementSetMessagingTimeout", Kind::kAXUIElement);
  if (!target.systemWide) fault("a messaging timeout for one element is not simulated", element);
  if (timeoutInSeconds < 0) return kAXErrorIllegalArgument;
  world().messagingTimeouts.push_back(timeoutInSeconds);
  return kAXErrorSuccess;
}

AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value) {
  const Object& target = *checked(element, "AXUIElementCopyAttributeValue", Kind::kAXUIElement);
  const std::string& name = textOf(attribute, "AXUIElementCopyAttributeValue attribute");
  if (!answered()) return kAXErrorCannotComplete;
  if (const AXError error = elementError(target); error != kAXErrorSuccess) return error;
  AXError error = kAXErrorSuccess;
  *value = readAttribute(target, name, &error);
  return error;
}

// With options 0: an attribute without a value reads as kCFNull, any other
// failing attribute as an AXValue of kAXValueTypeAXError.
AXError AXUIElementCopyMultipleAttributeValues(AXUIElementRef element, CFArrayRef attributes,
                                               AXCopyMultipleAttributeOptions options,
                                               CFArrayRef* values) {
  const Object& target =
      *checked(element, "AXUIElementCopyMultipleAttributeValues", Kind::kAXUIElement);
  const auto& names = checked(attributes, "attribute names", Kind::kArray)->items;
  if (options != 0) return kAXErrorIllegalArgument;
  if (!answered()) return kAXErrorCannotComplete;
  if (const auto unimplemented = world().multipleReads) return *unimplemented;
  if (const AXError error = elementError(target); error != kAXErrorSuccess) return error;
  Object* array = make(Kind::kArray);
  for (const void* name : names) {
    AXError error = kAXErrorSuccess;
    const void* value = readAttribute(target, textOf(name, "attribute name"), &error);
    if (value == nullptr && error == kAXErrorNoValue) value = CFRetain(kCFNull);
    if (value == nullptr) {
      Object* failure = make(Kind::kAXValue);
      failure->valueType = kAXValueTypeAXError;
      value = failure;
    }
    array->items.push_back(value);
  }
  *values = static_cast<CFArrayRef>(static_cast<const void*>(array));
  return kAXErrorSuccess;
}

AXError AXUIElementSetAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                     CFTypeRef value) {
  const Object& target = *checked(element, "AXUIElementSetAttributeValue", Kind::kAXUIElement);
  const std::string& name = textOf(attribute, "AXUIElementSetAttributeValue attribute");
  if (!answered()) return kAXErrorCannotComplete;
  if (world().scene == nullptr || !world().scene->isProcessTrusted()) return kAXErrorAPIDisabled;
  if (name != "AXValue") return kAXErrorAttributeUnsupported;
  if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID()) {
    return kAXErrorIllegalArgument;
  }
  const double number = static_cast<const Object*>(value)->number;
  return world().scene->setValue(target.handle, number) ? kAXErrorSuccess : kAXErrorCannotComplete;
}

AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action) {
  const Object& target = *checked(element, "AXUIElementPerformAction", Kind::kAXUIElement);
  const std::string& name = textOf(action, "AXUIElementPerformAction action");
  if (!answered()) return kAXErrorCannotComplete;
  if (world().scene == nullptr || !world().scene->isProcessTrusted()) return kAXErrorAPIDisabled;
  if (name != "AXPress") return kAXErrorActionUnsupported;
  return world().scene->press(target.handle) ? kAXErrorSuccess : kAXErrorCannotComplete;
}

AXValueType AXValueGetType(AXValueRef value) {
  return checked(value, "AXValueGetType", Kind::kAXValue)->valueType;
}

}  // extern "C"

// NSRunningApplication, for the helper: the scene's running instances.
namespace trovemark::ax::mac {

std::vector<ProcessId> runningProcessIds(const std::string& bundleIdentifier) {
  auto& w = world();
  if (w.scene == nullptr) return {};
  return w.scene->runningApplications(ax::Application{bundleIdentifier, {}});
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
  std::map<std::string, long> held;
  for (const Object* object : alive()) {
    if (!object->immortal) {
      ++held[kNames.at(object->kind)];
    } else if (object->immortal && object->count != 1) {
      held[std::string("retained ") + kNames.at(object->kind) + " constant"] += object->count - 1;
    }
  }
  std::string text;
  for (const auto& [name, n] : held) {
    text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + name;
  }
  return text;
}

}  // namespace trovemark::macsim
