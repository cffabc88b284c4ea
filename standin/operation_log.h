#pragma once

// The stand-in's operation log: one JSON line per operation received, each
// flushed at once so that a reader sees it while the stand-in still runs.

#include <cstdio>
#include <filesystem>

#include "scene_engine/scene_model.h"

namespace trovemark::standin {

class OperationLog {
 public:
  // Creates or empties the file. Throws std::runtime_error naming it when it
  // cannot be opened.
  explicit OperationLog(const std::filesystem::path& file);
  ~OperationLog();
  OperationLog(const OperationLog&) = delete;
  OperationLog& operator=(const OperationLog&) = delete;

  void append(const scene::Operation& operation);

 private:
  std::FILE* file_;
};

}  // namespace trovemark::standin
