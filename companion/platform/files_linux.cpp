// Files and folders on Linux, and the XDG base folders they hang from.

#include <unistd.h>

#include <sstream>

#include "companion/platform/adapters_linux.h"

namespace trovemark::companion::linux_adapters {
namespace {

std::optional<std::string> absoluteVariable(const Environment& env, const char* name) {
  const auto it = env.find(name);
  if (it == env.end() || it->second.empty() || it->second.front() != '/') return std::nullopt;
  return it->second;
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

class LinuxFileSystem final : public posix::FileSystemBase {
 public:
  explicit LinuxFileSystem(Environment env) : env_(std::move(env)) {}

  std::string applicationSupportFolder() override { return dataHome(env_); }

 private:
  Environment env_;
};

}  // namespace

std::string currentExecutablePath() {
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::string dataHome(const Environment& env) {
  if (auto value = absoluteVariable(env, "XDG_DATA_HOME")) return withoutTrailingSlash(*value);
  const std::string home = homeFolder(env);
  return (home == "/" ? "" : home) + "/.local/share";
}

std::string configHome(const Environment& env) {
  if (auto value = absoluteVariable(env, "XDG_CONFIG_HOME")) return withoutTrailingSlash(*value);
  const std::string home = homeFolder(env);
  return (home == "/" ? "" : home) + "/.config";
}

std::vector<std::string> dataFolders(const Environment& env) {
  std::vector<std::string> folders{dataHome(env)};
  std::string dirs = "/usr/local/share:/usr/share";
  if (const auto it = env.find("XDG_DATA_DIRS"); it != env.end() && !it->second.empty()) {
    dirs = it->second;
  }
  std::stringstream stream(dirs);
  std::string entry;
  while (std::getline(stream, entry, ':')) {
    // Relative entries are invalid and ignored.
    if (!entry.empty() && entry.front() == '/') folders.push_back(withoutTrailingSlash(entry));
  }
  return folders;
}

std::shared_ptr<FileSystem> makeFileSystem(Environment env) {
  return std::make_shared<LinuxFileSystem>(std::move(env));
}

}  // namespace trovemark::companion::linux_adapters
