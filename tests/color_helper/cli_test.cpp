// The built TrovemarkColorAX as its callers see it: arguments in, one line
// out on exactly one stream, and the exit status.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/standin_process.h"
#include "color_helper/messages.h"

namespace trovemark {
namespace {

// Runs the helper and checks that it fails with one line on standard error
// only, `message` when one is given.
void expectFailure(std::vector<std::string> args, std::string_view message = "") {
  args.insert(args.begin(), TROVEMARK_BINARY_DIR "/bin/TrovemarkColorAX");
  const bench::ProgramResult result = bench::runProgram(args);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  ASSERT_FALSE(result.err.empty());
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  if (!message.empty()) {
    EXPECT_EQ(result.err, std::string(message) + "\n");
  }
}

TEST(CommandLineTest, BadCallsFailWithOneLineOnStandardError) {
  const std::string status = R"({"action":"status","section":"blur"})";
  expectFailure({}, color::messages::kRequiresOneRequest);
  expectFailure({status, status}, color::messages::kRequiresOneRequest);
  expectFailure({"{\"action\":\"status\",\n\"section\":\"blur\",\"index\":2.5}"});
  expectFailure({R"({"action":"status","section":"BLUR"})"}, color::messages::kUnknownSection);
}

}  // namespace
}  // namespace trovemark
