#pragma once

// The simulated Mac that the macOS adapters run against in Linux builds:
// Core Foundation objects with counted references, the accessibility calls
// over a scene (elements are its nodes; reads, sets and presses are the
// scene's own, with its operation log; calls take their time on the test's
// clock), and the companion's bundle, host name and trust. One session at a
// time per process.
//
// Reference counting is strict: a retain or release of an object that is no
// longer alive, or a release of a reference nobody took, aborts the process
// at once; `unreleased()` names what is still held at the end of a test.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <ApplicationServices/ApplicationServices.h>

#include "scene_engine/scene.h"
#include "testing/fake_clock.h"

namespace trovemark::macsim {

// What the simulated Mac holds for the duration of one test.
struct World {
  // The running Resolve and its accessibility tree; none for a Mac without it.
  scene::Scene* scene = nullptr;
  // Every read of these nodes fails at once with the error given.
  // Attribute-level errors (unsupported, no value) fail each attribute of a
  // multiple read; the others fail the whole call, as the element does.
  std::map<scene::NodeId, AXError> failingReads;
  // Set when the application does not implement multiple reads: each one
  // fails with this error.
  std::optional<AXError> multipleReads;
  // The test's clock, on which calls to the application take their time;
  // without it they take none.
  testing::FakeClock* clock = nullptr;
  // How long each call the application answers takes.
  std::chrono::nanoseconds answerTime{0};
  // Once the scene has received this many presses and sets (0: from the
  // start), the application stops answering: every call to it waits the
  // process's messaging timeout, then fails with kAXErrorCannotComplete.
  std::optional<std::size_t> hangsAfterOperations;
  // Each messaging timeout set on the system-wide element, in seconds.
  std::vector<float> messagingTimeouts;
  // Trust without a scene, and whether each trust query asked for the prompt.
  bool trusted = false;
  std::vector<bool> trustPrompts;
  // The main bundle's Contents/Resources folder.
  std::string resourceFolder;
  // The local host name as SystemConfiguration keeps it (without ".local").
  std::optional<std::string> localHostName;
  // Calls that ask the application for something, each one round trip, and
  // those of them that waited on it in vain.
  std::size_t roundTrips = 0;
  std::size_t unanswered = 0;
};

// Installs a fresh world for the current test and removes it at the end.
class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  World& world();
};

// The objects the adapters obtained and did not release ("2 AXUIElement, 1
// CFString"), and the process-lifetime objects retained more often than
// released; empty when every count is balanced.
std::string unreleased();

}  // namespace trovemark::macsim
