#pragma once

// File operations that every POSIX system does the same way, shared by the
// platform adapters; each platform adds where the user's application data
// lives.

#include <optional>
#include <string>

#include "companion/platform/environment.h"
#include "companion/platform/file_system.h"

namespace trovemark::companion::posix {

// This process's environment, for makeSystemPlatform() to read once.
Environment currentEnvironment();
// $HOME when absolute, else the password database's home, else "/"; without
// a trailing slash.
std::string homeFolder(const Environment& env);

// A folder that could not be made: which one, and why (an errno value).
struct FolderFailure {
  std::string path;
  int error;
};
// mkdir -p, each folder it creates private to the user; an existing folder
// is left as it is.
std::optional<FolderFailure> makePrivateFolders(const std::string& path);

class FileSystemBase : public FileSystem {
 public:
  bool exists(const std::string& path) override;
  bool isExecutableFile(const std::string& path) override;
  // mkdir -p, each folder created private to the user; a folder left open to
  // others by an earlier run is closed, since it holds the pairing token.
  std::optional<std::string> createPrivateFolder(const std::string& path) override;
  // O_NONBLOCK, so that a pipe put in place of the file cannot hang the caller.
  std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes) override;
};

}  // namespace trovemark::companion::posix
