#pragma once

// Kept for the suites that still include it from here.
#include "testing/companion/temp_dir.h"
