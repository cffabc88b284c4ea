// The scene fixture's port: the scene itself, or the macOS adapter over the
// simulated Mac over the scene (TROVEMARK_SCENE_PORT=macos).

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "color_helper/accessibility/platform.h"
#include "testing/macos/simulation.h"
#include "testing/scene_fixture.h"

namespace trovemark::testing {
namespace {

// The simulated Mac, showing the scene for as long as the adapter lives,
// set up as the helper's main sets up a real one.
struct MacOverScene {
  MacOverScene(scene::Scene& scene, FakeClock& clock) {
    session.world().scene = &scene;
    session.world().clock = &clock;
    ax::setUpProcess();
    mac = ax::makePlatformAccessibility({}, clock);
  }
  ~MacOverScene() {
    mac.reset();
    EXPECT_EQ(macsim::unreleased(), "") << "left by the macOS adapter";
  }

  macsim::Session session;
  std::unique_ptr<ax::Accessibility> mac;
};

// Whether TROVEMARK_SCENE_PORT asks for the macOS adapter.
bool throughMac() {
  const char* choice = std::getenv("TROVEMARK_SCENE_PORT");
  if (choice == nullptr || *choice == '\0') return false;
  if (std::string_view(choice) != "macos") {
    throw std::invalid_argument("TROVEMARK_SCENE_PORT is macos or unset, not " +
                                std::string(choice));
  }
  return true;
}

}  // namespace

const color::messages::PlatformMessages& SceneFixture::messages() {
  return throughMac() ? color::messages::kMacMessages : color::messages::kLinuxMessages;
}

ax::Accessibility& SceneFixture::port() {
  if (port_) return *port_;
  if (!throughMac()) return *scene;
  auto mac = std::make_shared<MacOverScene>(*scene, clock);
  port_ = std::shared_ptr<ax::Accessibility>(mac, mac->mac.get());
  return *port_;
}

}  // namespace trovemark::testing
