#pragma once

// Counts, from outside, the method calls that programs send on a D-Bus bus:
// a monitoring connection sees every call, and a second connection's marker
// call tells when the monitor has seen everything sent before it. The
// benchmark counts a child program's calls this way, without the program
// writing anything of its own.

#include <dbus/dbus.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace trovemark::bench {

class BusMonitor {
 public:
  // Monitors the bus at `address`. Throws std::runtime_error when the bus
  // cannot be reached or refuses to be monitored.
  explicit BusMonitor(const std::string& address);
  ~BusMonitor();
  BusMonitor(const BusMonitor&) = delete;
  BusMonitor& operator=(const BusMonitor&) = delete;

  // Method calls seen so far, by sender ("" for a connection's greeting,
  // sent before it has a name), once everything sent before this call has
  // been seen. The monitor's own marker calls are not counted.
  std::map<std::string, std::uint64_t> counts();

  // The calls of programs that first spoke between two readings.
  static std::uint64_t newcomers(const std::map<std::string, std::uint64_t>& before,
                                 const std::map<std::string, std::uint64_t>& after);

 private:
  void watch();

  DBusConnection* monitor_ = nullptr;
  DBusConnection* marker_ = nullptr;
  std::string markerName_;
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, std::uint64_t> counts_;
  std::uint32_t markersSeen_ = 0;
  bool stopping_ = false;
};

// The address of this desktop's accessibility bus, asked of the session bus.
std::string accessibilityBusAddress();

}  // namespace trovemark::bench
