#pragma once

// Simulation (Linux builds only): the accessibility calls of
// ApplicationServices that the macOS adapters make, declared with Apple's
// signatures and implemented over the scene engine in
// testing/macos/simulation.cpp.

#include <CoreFoundation/CoreFoundation.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct __AXUIElement* AXUIElementRef;
typedef const struct __AXValue* AXValueRef;

typedef int32_t AXError;
enum {
  kAXErrorSuccess = 0,
  kAXErrorIllegalArgument = -25201,
  kAXErrorInvalidUIElement = -25202,
  kAXErrorCannotComplete = -25204,
  kAXErrorAttributeUnsupported = -25205,
  kAXErrorActionUnsupported = -25206,
  kAXErrorNotImplemented = -25208,
  kAXErrorAPIDisabled = -25211,
  kAXErrorNoValue = -25212,
};

typedef UInt32 AXValueType;
enum { kAXValueTypeCGPoint = 1, kAXValueTypeAXError = 5 };

typedef UInt32 AXCopyMultipleAttributeOptions;

#define kAXRoleAttribute CFSTR("AXRole")
#define kAXDescriptionAttribute CFSTR("AXDescription")
#define kAXValueAttribute CFSTR("AXValue")
#define kAXChildrenAttribute CFSTR("AXChildren")
#define kAXFocusedWindowAttribute CFSTR("AXFocusedWindow")
#define kAXWindowsAttribute CFSTR("AXWindows")
#define kAXPressAction CFSTR("AXPress")

extern CFStringRef kAXTrustedCheckOptionPrompt;

Boolean AXIsProcessTrusted(void);
Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options);

CFTypeID AXUIElementGetTypeID(void);
AXUIElementRef AXUIElementCreateApplication(pid_t pid);
AXUIElementRef AXUIElementCreateSystemWide(void);
AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds);
AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value);
AXError AXUIElementCopyMultipleAttributeValues(AXUIElementRef element, CFArrayRef attributes,
                                               AXCopyMultipleAttributeOptions options,
                                               CFArrayRef* values);
AXError AXUIElementSetAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                     CFTypeRef value);
AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action);

CFTypeID AXValueGetTypeID(void);
AXValueType AXValueGetType(AXValueRef value);

#ifdef __cplusplus
}
#endif
