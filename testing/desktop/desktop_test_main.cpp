// The main of test programs that need a desktop: unless it already runs
// inside one, the program runs itself again under scripts/with-desktop, so
// that each test process gets a private X server and accessibility bus and
// leaves nothing behind. Listing the tests needs no desktop.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
  }
  if (!listing && std::getenv("TROVEMARK_DESKTOP") == nullptr) {
    std::string self(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length > 0) self.resize(static_cast<std::size_t>(length));
    const std::string script = TROVEMARK_SOURCE_DIR "/scripts/with-desktop";
    std::vector<char*> args{const_cast<char*>(script.c_str()), self.data()};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(script.c_str(), args.data());
    std::perror(script.c_str());
    return 127;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
