#pragma once

// Reads a fuzzer's input as a stream of small choices. Every read succeeds:
// once the input is used up, each choice takes its first option, so any input
// (the empty one included) describes one complete case.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace trovemark::fuzz {

class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return at_ >= size_; }

  std::uint8_t byte() { return empty() ? 0 : data_[at_++]; }

  // A number from 0 to `most`, inclusive, from as few bytes as that needs.
  std::uint32_t upTo(std::uint32_t most) {
    if (most == 0) return 0;
    std::uint32_t value = 0;
    for (std::uint32_t range = most; range != 0; range >>= 8) value = (value << 8) | byte();
    return value % (most + 1);
  }

  bool flag() { return (byte() & 1) != 0; }

  template <typename T, std::size_t N>
  const T& pick(const T (&options)[N]) {
    return options[upTo(N - 1)];
  }

  // Any double, NaN and the infinities included, from eight bytes.
  double anyDouble() {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | byte();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  // Up to `most` bytes, taken as they are: not necessarily UTF-8.
  std::string text(std::size_t most) {
    std::string result;
    const std::size_t length = upTo(static_cast<std::uint32_t>(most));
    while (result.size() < length && !empty()) result.push_back(static_cast<char>(byte()));
    return result;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace trovemark::fuzz
