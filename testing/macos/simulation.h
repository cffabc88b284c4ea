#pragma once

// The simulated Mac that the macOS adapters run against in Linux builds:
// Core Foundation objects with counted references, the accessibility calls
// over a scene (elements are its nodes; reads, sets and presses are the
// scene's own, with its operation log), and the companion's bundle, host
// name and trust. One session at a time per process.
//
// Reference counting is strict: a retain or release of an object that is no
// longer alive, or a release of a reference nobody took, aborts the process
// at once; `unreleased()` names what is still held at the end of a test.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scene_engine/scene.h"

namespace trovemark::macsim {

// Which accessibility error a failing read reports, as AXError values.
enum class Failure : std::int32_t {
  kAttributeUnsupported = -25205,
  kNoValue = -25212,
  kCannotComplete = -25204,
};

// What the simulated Mac holds for the duration of one test.
struct World {
  // The running Resolve and its accessibility tree; none for a Mac without it.
  scene::Scene* scene = nullptr;
  // Every read of these nodes fails with the error given. Attribute-level
  // errors (unsupported, no value) fail each attribute of a multiple read;
  // the others fail the whole call, as the element does.
  std::map<scene::NodeId, Failure> failingReads;
  // Trust without a scene, and whether each trust query asked for the prompt.
  bool trusted = false;
  std::vector<bool> trustPrompts;
  // The main bundle's Contents/Resources folder.
  std::string resourceFolder;
  // The local host name as SystemConfiguration keeps it (without ".local").
  std::optional<std::string> localHostName;
  // Calls that ask the application for something, each one round trip.
  std::size_t roundTrips = 0;
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
