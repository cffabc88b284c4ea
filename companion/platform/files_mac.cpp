// Files and folders on macOS: the POSIX operations, with the companion's data
// under the user's Library/Application Support, the folder NSFileManager
// names for the user domain.

#include "companion/platform/adapters_mac.h"

namespace trovemark::companion::mac_adapters {
namespace {

class MacFileSystem final : public posix::FileSystemBase {
 public:
  explicit MacFileSystem(Environment env) : env_(std::move(env)) {}

  std::string applicationSupportFolder() override {
    const std::string home = posix::homeFolder(env_);
    return (home == "/" ? "" : home) + "/Library/Application Support";
  }

 private:
  Environment env_;
};

}  // namespace

std::shared_ptr<FileSystem> makeFileSystem(Environment env) {
  return std::make_shared<MacFileSystem>(std::move(env));
}

}  // namespace trovemark::companion::mac_adapters
