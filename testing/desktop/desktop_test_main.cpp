// The main of test programs that need a desktop: unless it already runs
// inside one, the program runs itself again under scripts/with-desktop, so
// that each test process gets a private X server and accessibility bus and
// leaves nothing behind. Listing the tests needs no desktop.

#include <cstdio>
#include <cstring>
#include <exception>

#include <gtest/gtest.h>

#include "testing/desktop/processes.h"

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
  }
  if (!listing) {
    try {
      trovemark::testing::reexecInsideDesktop(TROVEMARK_SOURCE_DIR "/scripts/with-desktop", argc,
                                              argv);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
      return 127;
    }
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
