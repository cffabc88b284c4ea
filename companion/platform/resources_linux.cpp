// The companion's resources on Linux: beside the program, under the data
// folder of its prefix.

#include <sys/stat.h>

#include <filesystem>

#include "companion/platform/adapters_linux.h"

#ifndef TROVEMARK_RESOURCE_RELATIVE
#error "TROVEMARK_RESOURCE_RELATIVE must name the resource folder relative to the program's"
#endif

namespace trovemark::companion::linux_adapters {
namespace {

class LinuxResources final : public Resources {
 public:
  explicit LinuxResources(std::string folder) : folder_(std::move(folder)) {}

  std::optional<std::string> resourcePath(const std::string& name,
                                          const std::string& extension) override {
    const std::string path = folder_ + "/" + name + "." + extension;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return path;
  }

 private:
  std::string folder_;
};

}  // namespace

std::string resourceFolderFor(const std::string& executablePath) {
  const std::filesystem::path program(executablePath);
  return (program.parent_path() / TROVEMARK_RESOURCE_RELATIVE).lexically_normal().string();
}

std::shared_ptr<Resources> makeResources(std::string resourceFolder) {
  while (resourceFolder.size() > 1 && resourceFolder.back() == '/') resourceFolder.pop_back();
  return std::make_shared<LinuxResources>(std::move(resourceFolder));
}

}  // namespace trovemark::companion::linux_adapters
