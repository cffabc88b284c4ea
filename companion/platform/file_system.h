#pragma once

// The file operations of the companion, as a port. Abstract so that tests can
// lay out any situation (a missing runtime, an unreadable token) without
// touching the disk, and so that the real adapter owns the platform's rules.

#include <cstddef>
#include <optional>
#include <string>

namespace trovemark::companion {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True for an existing file or folder (links followed).
  virtual bool exists(const std::string& path) = 0;
  // True if `path` is a regular file that the current user may execute.
  virtual bool isExecutableFile(const std::string& path) = 0;
  // The user's folder for application data, absolute, without a trailing slash.
  virtual std::string applicationSupportFolder() = 0;
  // Creates the folder and any missing parents, private to the user. Succeeds
  // when the folder exists already. Returns a readable description on failure.
  virtual std::optional<std::string> createPrivateFolder(const std::string& path) = 0;
  // The bytes of a regular file, when it holds at most `maxBytes`; none for a
  // missing, unreadable, oversized or non-regular file. Never blocks on a pipe.
  virtual std::optional<std::string> readSmallFile(const std::string& path,
                                                   std::size_t maxBytes) = 0;
};

}  // namespace trovemark::companion
