#pragma once

// Test support: reads the stand-in Resolve as any AT-SPI client would
// (libatspi, synchronous, without its cache), so tests can hold what the
// desktop shows against the scene.

#include <sys/types.h>

#include <atspi/atspi.h>

#include <optional>
#include <string>
#include <vector>

namespace trovemark::standin::testing {

// What a client reads of one object.
struct NodeView {
  std::string role;  // the AT-SPI role name, e.g. "push button"
  std::string name;
  std::optional<double> value;      // Value interface, when offered
  std::optional<std::string> text;  // Text interface, when offered
  bool enabled = false;             // ENABLED and SENSITIVE both present
  bool checked = false;
  bool active = false;
  std::vector<NodeView> children;
};

// A libatspi client of the session's accessibility bus.
class AtspiClient {
 public:
  AtspiClient();
  ~AtspiClient();

  // The application object of a process; null (after retrying for a while)
  // when no such application is registered. Reads on it skip the cache.
  AtspiAccessible* application(pid_t pid);
  // The whole subtree as read now.
  NodeView read(AtspiAccessible* object);
  // The first object of the subtree, in pre-order, with this name; null when
  // there is none. The caller owns the reference.
  AtspiAccessible* find(AtspiAccessible* root, const std::string& name);
  // Does the action of that name; false when the object has no such action.
  bool act(AtspiAccessible* object, const std::string& action);
  bool setValue(AtspiAccessible* object, double value);
  // The object's D-Bus path.
  std::string path(AtspiAccessible* object);
  // Whether a fresh read of the object's role succeeds.
  bool readable(AtspiAccessible* object);

 private:
  std::vector<AtspiAccessible*> applications_;
};

}  // namespace trovemark::standin::testing
