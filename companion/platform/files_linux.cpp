// Files and folders on Linux, and the XDG base folders they hang from.

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "companion/platform/adapters_linux.h"

extern char** environ;

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

class LinuxFileSystem final : public FileSystem {
 public:
  explicit LinuxFileSystem(Environment env) : env_(std::move(env)) {}

  bool exists(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
  }

  bool isExecutableFile(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
  }

  std::string applicationSupportFolder() override { return dataHome(env_); }

  std::optional<std::string> createPrivateFolder(const std::string& path) override {
    if (auto failure = makePrivateFolders(withoutTrailingSlash(path))) {
      return "Could not create " + failure->path + ": " + std::strerror(failure->error) + ".";
    }
    // A folder left open to others by an earlier run is closed: it holds the
    // pairing token.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0) {
      ::chmod(path.c_str(), st.st_mode & 0700);
    }
    return std::nullopt;
  }

  std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes) override {
    // O_NONBLOCK: a pipe put in place of the file must not hang the main thread.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> result;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      std::string bytes;
      char buffer[8192];
      bool failed = false;
      for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          failed = true;
          break;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > maxBytes) {
          failed = true;
          break;
        }
      }
      if (!failed) result = std::move(bytes);
    }
    ::close(fd);
    return result;
  }

 private:
  Environment env_;
};

}  // namespace

std::optional<FolderFailure> makePrivateFolders(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) return FolderFailure{path, ENOTDIR};
    return std::nullopt;
  }
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (auto failure = makePrivateFolders(path.substr(0, slash))) return failure;
  }
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return FolderFailure{path, errno};
  return std::nullopt;
}

Environment currentEnvironment() {
  Environment env;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string text(*entry);
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    env.emplace(text.substr(0, equals), text.substr(equals + 1));
  }
  return env;
}

std::string currentExecutablePath() {
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::string homeFolder(const Environment& env) {
  if (auto home = absoluteVariable(env, "HOME")) return withoutTrailingSlash(*home);
  if (const passwd* entry = ::getpwuid(::getuid());
      entry && entry->pw_dir && entry->pw_dir[0] == '/') {
    return withoutTrailingSlash(entry->pw_dir);
  }
  return "/";
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
