#include "standin/operation_log.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace trovemark::standin {

OperationLog::OperationLog(const std::filesystem::path& file)
    : file_(std::fopen(file.c_str(), "w")) {
  if (!file_) {
    throw std::runtime_error("cannot write the operation log " + file.string() + ": " +
                             std::strerror(errno));
  }
}

OperationLog::~OperationLog() { std::fclose(file_); }

void OperationLog::append(const scene::Operation& operation) {
  const std::string line = operation.toJsonLine() + "\n";
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace trovemark::standin
