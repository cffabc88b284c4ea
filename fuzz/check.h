#pragma once

// How a fuzz target reports a broken invariant: a message, then an abort, which
// the fuzzer records as a crash together with the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace trovemark::fuzz {

[[noreturn]] inline void broken(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}

inline void check(bool holds, const std::string& what) {
  if (!holds) broken(what);
}

}  // namespace trovemark::fuzz
