#include "companion/platform/files_posix.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace trovemark::companion::posix {
namespace {

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

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
    if (equals != std::string::npos && equals > 0) {
      env.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
  }
  return env;
}

std::string homeFolder(const Environment& env) {
  if (const auto it = env.find("HOME"); it != env.end() && it->second.starts_with('/')) {
    return withoutTrailingSlash(it->second);
  }
  if (const passwd* entry = ::getpwuid(::getuid());
      entry && entry->pw_dir && entry->pw_dir[0] == '/') {
    return withoutTrailingSlash(entry->pw_dir);
  }
  return "/";
}

bool FileSystemBase::exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool FileSystemBase::isExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

std::optional<std::string> FileSystemBase::createPrivateFolder(const std::string& path) {
  const std::string folder = withoutTrailingSlash(path);
  if (auto failure = makePrivateFolders(folder)) {
    return "Could not create " + failure->path + ": " + std::strerror(failure->error) + ".";
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0) {
    ::chmod(folder.c_str(), st.st_mode & 0700);
  }
  return std::nullopt;
}

std::optional<std::string> FileSystemBase::readSmallFile(const std::string& path,
                                                         std::size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> result;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    std::string bytes;
    char buffer[8192];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) {
        result = std::move(bytes);
        break;
      }
      if (n < 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
      if (bytes.size() > maxBytes) break;
    }
  }
  ::close(fd);
  return result;
}

}  // namespace trovemark::companion::posix
