#pragma once

// Simulation (Linux builds only): the one SystemConfiguration call the
// companion makes, implemented in testing/macos/simulation.cpp.

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct __SCDynamicStore* SCDynamicStoreRef;

// The Bonjour name of this machine without ".local", or NULL when none is
// set. Copy rule. `store` may be NULL.
CFStringRef SCDynamicStoreCopyLocalHostName(SCDynamicStoreRef store);

#ifdef __cplusplus
}
#endif
