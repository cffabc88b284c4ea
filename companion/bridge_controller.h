#pragma once

// The companion's one controller: it keeps the bridge script running under
// Resolve's scripting runtime, builds the pairing link, and drives the two
// switches (keyboard control, launch at login).
//
// Everything here runs on the main thread (see MainThreadExecutor); only the
// report of a child's end arrives elsewhere, and it does nothing but post to
// the main thread. No operation fails to its caller: each reports through the
// published `summary`, `error` and `launchesAtLogin`.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "companion/platform/platform.h"

namespace trovemark::companion {

class BridgeController : public std::enable_shared_from_this<BridgeController> {
 public:
  // The three published properties, named in change notifications.
  enum class Property { kSummary, kError, kLaunchesAtLogin };
  using WillChange = std::function<void(Property)>;
  using SubscriptionId = std::uint64_t;

  // Builds the controller and runs its start-up on the calling (main) thread:
  // initial state, the login-item reading, the pairing-token folder, start(),
  // then the start-up login-item registration.
  static std::shared_ptr<BridgeController> create(Platform platform);

  ~BridgeController();
  BridgeController(const BridgeController&) = delete;
  BridgeController& operator=(const BridgeController&) = delete;

  // Published state.
  const std::string& summary() const { return summary_; }
  const std::optional<std::string>& error() const { return error_; }
  bool launchesAtLogin() const { return launchesAtLogin_; }
  // The platform's own words, for the menu around the published state.
  const PlatformTexts& texts() const { return platform_.texts; }

  // Observers hear of every assignment to a published property before the new
  // value is stored, whether or not it differs; they read the old value if
  // they look at once, so a UI schedules its rebuild rather than rebuilding
  // inside the call. Observers must not call the controller's operations from
  // inside the notification.
  SubscriptionId subscribe(WillChange observer);
  void unsubscribe(SubscriptionId id);

  // Checks the prerequisites and launches the bridge unless it runs already
  // or the controller was stopped.
  void start();
  // Lets go of the current child (terminate request, no restart for it) and
  // starts a new one at once.
  void restart();
  // Lets go of the current child and prevents every further start.
  void stop();
  // The pairing link's text, or none when any piece is missing or malformed.
  // Reads both files afresh; publishes nothing.
  std::optional<std::string> pairingLink();
  // Puts the pairing link on the pasteboard, or says why not.
  void copyPairingLink();
  // Asks for keyboard-control permission (with the desktop's prompt).
  void enableKeyboardControl();
  // Registers or unregisters the login item according to launchesAtLogin.
  void toggleLaunchAtLogin();

  // Where the bridge is told to write its pairing token; fixed for the
  // controller's life.
  const std::string& tokenFile() const { return tokenFile_; }
  // The child this controller considers current, if any (for diagnostics).
  const std::shared_ptr<ChildProcess>& process() const { return process_; }

 private:
  struct Key {};

 public:
  BridgeController(Key, Platform platform);

 private:
  void initialise();
  std::optional<std::string> locateResolve();
  // The first of Resolve's runtime candidates in `resolve` that can be run.
  std::optional<std::string> locateRuntime(const std::string& resolve);
  std::string defaultTokenFile();
  void bridgeDidExit(const std::shared_ptr<ChildProcess>& child);
  void startupLoginItemStep();

  void setSummary(std::string value);
  void setError(std::optional<std::string> value);
  void setLaunchesAtLogin(bool value);
  void willChange(Property property);

  Platform platform_;
  std::string summary_;
  std::optional<std::string> error_;
  bool launchesAtLogin_ = false;
  std::shared_ptr<ChildProcess> process_;
  bool shouldRun_ = true;
  std::string tokenFile_;

  std::vector<std::pair<SubscriptionId, WillChange>> observers_;
  SubscriptionId nextSubscription_ = 1;
};

}  // namespace trovemark::companion
