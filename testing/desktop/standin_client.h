#pragma once

// Test support: runs resolve-standin on a scene and reads it as any AT-SPI
// client would (libatspi, synchronous, without its cache), so tests can hold
// what the desktop shows against the scene.

#include <sys/types.h>

#include <atspi/atspi.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace trovemark::standin::testing {

// A scratch folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path write(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path_;
};

// The path of the built program.
std::string standinProgram();

// One run of resolve-standin. The destructor ends it if it still runs.
class StandinProcess {
 public:
  // Starts the program (the stand-in unless told otherwise) with these
  // arguments; standard output is captured.
  explicit StandinProcess(const std::vector<std::string>& arguments,
                          const std::string& program = standinProgram());
  ~StandinProcess();
  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;

  // The next line of standard output; nullopt at its end or when nothing
  // comes within a generous bound (so that a hung program fails the test).
  std::optional<std::string> readLine();
  // Sends SIGTERM and waits; the exit status, or -1 when killed by a signal.
  int terminate();
  // Waits for the program to end by itself.
  int wait();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  std::string buffered_;
};

// Every line of a file.
std::vector<std::string> readLines(const std::filesystem::path& file);

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
