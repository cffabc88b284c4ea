#pragma once

// A fixture for tests of BridgeController over the recording fakes, and a
// recorder of its will-change notifications.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "companion/bridge_controller.h"
#include "testing/companion/companion_fakes.h"

namespace trovemark::companion::testing {

// Where the fakes' home keeps the pairing files.
inline constexpr const char* kTokenFile = "/home/ada/.local/share/Zelvan/.pairing-token";
inline constexpr const char* kFingerprintFile = "/home/ada/.local/share/Zelvan/bridge-fingerprint";

// Records every will-change notification with the summary visible then.
struct Recorder {
  explicit Recorder(BridgeController& c) {
    c.subscribe([this, &c](BridgeController::Property p) {
      properties.push_back(p);
      if (p == BridgeController::Property::kSummary) summariesBefore.push_back(c.summary());
    });
  }
  std::vector<BridgeController::Property> properties;
  std::vector<std::string> summariesBefore;
};

// The controller over a fresh world of fakes, with the steps tests repeat.
class ControllerFixture : public ::testing::Test {
 public:
  std::shared_ptr<BridgeController> create() { return BridgeController::create(world.platform()); }
  void runFor(std::chrono::nanoseconds d) {
    world.clock->advance(d);
    world.loop->runPending();
  }
  // The current child ends by itself and its report is handled.
  void childExits() {
    world.launcher->last()->exit();
    world.loop->runPending();
  }
  void linkFiles(const std::string& token) {
    world.files->files[kTokenFile] = token;
    world.files->files[kFingerprintFile] = std::string(64, 'f');
  }
  FakeWorld world;
};

}  // namespace trovemark::companion::testing
