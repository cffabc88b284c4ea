// Runs one fuzz target over every input kept in its seed corpus, so that the
// inputs that once found a fault keep being checked with the tests, under any
// compiler, and over a fixed set of inputs drawn from a seeded generator. A
// broken invariant aborts the test with the target's message.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(CorpusReplay, EveryKeptInputRunsClean) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(TROVEMARK_FUZZ_CORPUS)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no seed inputs in " << TROVEMARK_FUZZ_CORPUS;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
  }
}

TEST(CorpusReplay, SeededRandomInputsRunClean) {
  std::mt19937 random(20261206);
  std::uniform_int_distribution<std::size_t> length(0, 2048);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 60; ++i) {
    std::vector<std::uint8_t> bytes(length(random));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(byte(random));
    SCOPED_TRACE(i);
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
  }
}

}  // namespace
