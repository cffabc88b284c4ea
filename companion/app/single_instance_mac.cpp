// Launch Services keeps one instance of an application bundle on macOS.

#include "companion/app/single_instance.h"

namespace trovemark::companion::app {
namespace {

class LaunchServices final : public SingleInstance {
 public:
  bool first() const override { return true; }
  void onShowRequest(std::function<void()>) override {}
};

}  // namespace

std::unique_ptr<SingleInstance> claimSingleInstance() { return std::make_unique<LaunchServices>(); }

}  // namespace trovemark::companion::app
