// The built TrovemarkColorAX as its callers see it: arguments in, one line
// out on exactly one stream, and the exit status.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "color_helper/messages.h"

namespace trovemark {
namespace {

std::string quoted(const std::string& arg) {
  std::string result = "'";
  for (char c : arg) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

std::string slurp(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// Runs the helper (after `prefix`, a command line) and checks that it fails
// with one line on standard error only, `message` when one is given.
void expectFailure(const std::vector<std::string>& args, std::string_view message = "",
                   const std::string& prefix = "") {
  // Named per process: ctest runs each case as a process of its own, side by
  // side, and the temporary folder is shared.
  const std::string dir = ::testing::TempDir() + "cli_test_" + std::to_string(getpid()) + "_";
  std::string command = prefix + " " TROVEMARK_BINARY_DIR "/bin/TrovemarkColorAX";
  for (const auto& arg : args) command += " " + quoted(arg);
  const int status =
      std::system((command + " >" + dir + "out 2>" + dir + "err </dev/null").c_str());
  const std::string out = slurp(dir + "out"), err = slurp(dir + "err");
  std::remove((dir + "out").c_str());
  std::remove((dir + "err").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1) << command;
  EXPECT_EQ(out, "");
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  if (!message.empty()) {
    EXPECT_EQ(err, std::string(message) + "\n");
  }
}

TEST(CommandLineTest, WantsExactlyOneArgument) {
  const std::string status = R"({"action":"status","section":"blur"})";
  expectFailure({}, color::messages::kRequiresOneRequest);
  expectFailure({status, status}, color::messages::kRequiresOneRequest);
}

TEST(CommandLineTest, BadRequestsFailWithOneLineOnStandardError) {
  expectFailure({"{\"action\":\"status\",\n\"section\":\"blur\",\"index\":2.5}"});
  expectFailure({R"({"action":"status","section":"BLUR"})"}, color::messages::kUnknownSection);
}

}  // namespace
}  // namespace trovemark
