#pragma once

// What real children of the recording interpreter (tests/data/companion)
// saw: their arguments, environment and descriptors, and the terminate
// requests they received, one folder per child under a report folder. For
// the launchers of both platforms, which start real children.

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace trovemark::companion::testing {

using trovemark::testing::readFile;

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

}  // namespace trovemark::companion::testing
