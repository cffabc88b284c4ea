// Finding an application on Linux. There are no bundle identifiers here; the
// locator is made for the layout the application's installer uses
// (companion/resolve.h gives Resolve's):
//  - running instances: processes of any user whose executable (/proc/PID/exe)
//    is <folder>/<program>; the instance's folder is <folder>;
//  - the registered location: the installer's desktop entry in the XDG
//    applications folders, as the desktop's menus look it up; its Path=, or
//    the install folder of the program it runs (<folder>/bin/<name> gives
//    <folder>, any other program its own folder).

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "companion/platform/adapters_linux.h"
#include "companion/platform/desktop_entry_linux.h"

namespace trovemark::companion::linux_adapters {
namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string installFolderOf(const std::string& program) {
  const std::string folder = folderOf(program);
  return nameOf(folder) == "bin" ? folderOf(folder) : folder;
}

std::optional<std::string> readLink(const std::string& path) {
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return std::nullopt;
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

class LinuxApplicationLocator final : public ApplicationLocator {
 public:
  LinuxApplicationLocator(LinuxInstallLayout layout, Environment env, std::string procRoot)
      : layout_(std::move(layout)), env_(std::move(env)), procRoot_(std::move(procRoot)) {}

  std::vector<std::optional<std::string>> runningBundleLocations() override {
    std::vector<std::optional<std::string>> locations;
    for (auto& instance : runningInstances()) locations.push_back(std::move(instance.location));
    return locations;
  }

  std::vector<RunningInstance> runningInstances() override {
    std::vector<RunningInstance> instances;
    const std::string program = "/" + layout_.program;

    std::vector<long> pids;
    if (DIR* dir = ::opendir(procRoot_.c_str())) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!name.empty() && name.size() < 10 &&
            std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
          pids.push_back(std::stol(name));
        }
      }
      ::closedir(dir);
    }
    std::sort(pids.begin(), pids.end());

    for (const long pid : pids) {
      // Another user's process, or one that has just ended, cannot be read.
      auto executable = readLink(procRoot_ + "/" + std::to_string(pid) + "/exe");
      if (!executable) continue;
      // A program whose file was replaced or removed after it started: its
      // folder is still reported, and the caller's existence check decides.
      if (executable->ends_with(" (deleted)")) executable->resize(executable->size() - 10);
      if (!executable->ends_with(program)) continue;
      const std::string folder = executable->substr(0, executable->size() - program.size());
      instances.push_back({pid, *executable, folder.empty() ? "/" : folder});
    }
    return instances;
  }

  std::optional<std::string> registeredLocation() override {
    for (const auto& folder : dataFolders(env_)) {
      std::ifstream file(folder + "/applications/" + layout_.desktopEntry, std::ios::binary);
      if (!file) continue;
      std::stringstream text;
      text << file.rdbuf();
      // The first entry found hides those of the same name further down.
      return locationFromEntry(desktop_entry::mainGroup(text.str()));
    }
    return std::nullopt;
  }

 private:
  static std::optional<std::string> locationFromEntry(
      const std::map<std::string, std::string>& keys) {
    if (const auto hidden = keys.find("Hidden"); hidden != keys.end() && hidden->second == "true") {
      return std::nullopt;
    }
    // Path= names the application's folder directly.
    if (const auto path = keys.find("Path"); path != keys.end()) {
      if (auto value = desktop_entry::unescapeString(path->second);
          value && !value->empty() && value->front() == '/') {
        return *value;
      }
    }
    // Otherwise the install folder of the program it runs.
    for (const char* key : {"TryExec", "Exec"}) {
      const auto it = keys.find(key);
      if (it == keys.end()) continue;
      const auto value = desktop_entry::unescapeString(it->second);
      if (!value) continue;
      const auto args = desktop_entry::splitExec(*value);
      if (!args || args->empty() || args->front().empty() || args->front().front() != '/') {
        continue;
      }
      return installFolderOf(args->front());
    }
    return std::nullopt;
  }

  LinuxInstallLayout layout_;
  Environment env_;
  std::string procRoot_;
};

}  // namespace

std::shared_ptr<ApplicationLocator> makeApplicationLocator(LinuxInstallLayout layout,
                                                           Environment env, std::string procRoot) {
  return std::make_shared<LinuxApplicationLocator>(std::move(layout), std::move(env),
                                                   std::move(procRoot));
}

}  // namespace trovemark::companion::linux_adapters
