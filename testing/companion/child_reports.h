#pragma once

// What real children of the recording interpreter (tests/data/companion)
// saw: their arguments, environment and descriptors, and the terminate
// requests they received, one folder per child under a report folder;
// and the controller over the real launcher and files.

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "companion/platform/adapters_linux.h"
#include "companion/platform/run_loop.h"
#include "testing/companion/companion_fakes.h"
#include "testing/temp_dir.h"
#include "testing/wait.h"

namespace trovemark::companion::testing {

using trovemark::testing::eventually;
using trovemark::testing::kPatience;
using trovemark::testing::readFile;
using trovemark::testing::TempDir;

inline constexpr const char* kInterpreter =
    TROVEMARK_SOURCE_DIR "/tests/data/companion/recording_interpreter.py";

// The children the recording interpreter has seen start, by pid.
struct Reports {
  explicit Reports(const std::filesystem::path& folder) : dir(folder.string()) {
    std::filesystem::create_directories(dir);
  }
  std::vector<std::string> started() const {
    std::vector<std::string> pids;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (std::filesystem::exists(entry.path() / "started.json")) {
        pids.push_back(entry.path().filename());
      }
    }
    std::sort(pids.begin(), pids.end(),
              [](auto& a, auto& b) { return std::stol(a) < std::stol(b); });
    return pids;
  }
  nlohmann::json start(const std::string& pid) const {
    return nlohmann::json::parse(readFile(dir + "/" + pid + "/started.json"));
  }
  int terminateRequests(const std::string& pid) const {
    const std::string text = readFile(dir + "/" + pid + "/signals");
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }
  // Gone from the process table: ended and reaped, no zombie left.
  static bool gone(const std::string& pid) { return !std::filesystem::exists("/proc/" + pid); }

  std::string dir;
};

inline std::map<std::string, std::string> baseEnvironment(const Reports& reports) {
  return {{"TEST_REPORT_DIR", reports.dir},
          {"PATH", "/usr/local/bin:/usr/bin:/bin"},
          {"LC_ALL", "C.UTF-8"}};
}

// The controller over the real launcher and files, with a Resolve install
// whose runtime is the recording interpreter.
class RealSupervisionFixture : public ::testing::Test {
 protected:
  RealSupervisionFixture() : reports(dir / "reports") {
    const auto runtime = dir / "Resolve.app/Contents/Applications/ResolvePython";
    std::filesystem::create_directories(runtime.parent_path());
    std::filesystem::create_symlink(kInterpreter, runtime);

    world.applications->registered = dir / "Resolve.app";
    world.bundle->script = dir / "zelvan_bridge.py";
    world.bundle->env = baseEnvironment(reports);
    world.bundle->env["ZELVAN_TOKEN_FILE"] = "/inherited/and/replaced";
    platform = world.platform();
    platform.processes = linux_adapters::makeProcessLauncher();
    platform.files = linux_adapters::makeFileSystem({{"HOME", dir / "home"}});
    platform.executor = loop;
  }

  bool runUntil(const std::function<bool()>& done) { return loop->runUntil(done, kPatience); }

  TempDir dir;
  Reports reports;
  FakeWorld world;
  Platform platform;
  std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>();
};

}  // namespace trovemark::companion::testing
