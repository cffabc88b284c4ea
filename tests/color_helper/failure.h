#pragma once

#include <string>

#include "color_helper/color_error.h"

namespace trovemark::testing {

// The message of the ColorError that `operation` throws, or "no failure".
template <typename Operation>
std::string failureOf(Operation&& operation) {
  try {
    operation();
  } catch (const color::ColorError& error) {
    return error.message();
  }
  return "no failure";
}

}  // namespace trovemark::testing
