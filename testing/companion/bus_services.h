#pragma once

// Stand-ins for two desktop services the companion asks over D-Bus, served
// from a thread and a connection of their own (so that they answer while the
// caller's own thread waits): the Avahi daemon's host name
// (org.freedesktop.Avahi.Server.GetHostNameFqdn) and, optionally, the
// accessibility bus launcher's switch (the org.a11y.Status IsEnabled
// property, which can be read and set).

#include <atomic>
#include <string>
#include <thread>

namespace trovemark::testing {

class BusServices {
 public:
  // Serves on the bus at `address`; `accessibilitySwitch` also takes the
  // launcher's name, which a desktop's own launcher holds already.
  BusServices(std::string address, std::string hostName, bool accessibilitySwitch);
  ~BusServices();
  BusServices(const BusServices&) = delete;
  BusServices& operator=(const BusServices&) = delete;

  // Waits until the names are taken; false when that fails.
  bool ready();

  std::atomic<bool> accessibilityEnabled = false;
  // Set calls of the switch received so far.
  std::atomic<int> switchSets = 0;

 private:
  void serve();

  const std::string address_;
  const std::string hostName_;
  const bool accessibilitySwitch_;
  std::atomic<int> state_ = 0;  // 0 starting, 1 serving, -1 failed
  std::atomic<bool> stop_ = false;
  std::thread server_;
};

}  // namespace trovemark::testing
