#pragma once

#include <exception>
#include <string>
#include <utility>

namespace trovemark::color {

// The Color helper's one error type. Its message is the whole user-facing
// description: the entry point prints it as it is, with no prefix or code.
class ColorError : public std::exception {
 public:
  explicit ColorError(std::string message) : message_(std::move(message)) {}

  const std::string& message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

}  // namespace trovemark::color
