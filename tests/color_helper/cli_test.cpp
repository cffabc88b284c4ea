// The built TrovemarkColorAX as its callers see it: arguments in, one line
// out on exactly one stream, and the exit status.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "color_helper/messages.h"

extern char** environ;

namespace trovemark {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the helper with `args`, under the `wrapper` command when one is given.
Outcome runHelper(const std::vector<std::string>& args,
                  const std::vector<std::string>& wrapper = {}) {
  const std::string helper = TROVEMARK_BINARY_DIR "/bin/TrovemarkColorAX";
  char outPath[] = "/tmp/colorax-out-XXXXXX";
  char errPath[] = "/tmp/colorax-err-XXXXXX";
  const int outFd = mkstemp(outPath);
  const int errFd = mkstemp(errPath);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  std::vector<std::string> command = wrapper;
  command.push_back(helper);
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (const auto& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  Outcome outcome;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(outFd);
  close(errFd);
  outcome.out = slurp(outPath);
  outcome.err = slurp(errPath);
  unlink(outPath);
  unlink(errPath);
  return outcome;
}

void expectFailure(const std::vector<std::string>& args, const std::string& message = "",
                   const std::vector<std::string>& wrapper = {}) {
  const Outcome outcome = runHelper(args, wrapper);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  ASSERT_FALSE(outcome.err.empty());
  EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
  if (!message.empty()) {
    EXPECT_EQ(outcome.err, message + "\n");
  }
}

TEST(CommandLineTest, WantsExactlyOneArgument) {
  const std::string oneRequest(color::messages::kRequiresOneRequest);
  const std::string status = R"({"action":"status","section":"blur"})";
  expectFailure({}, oneRequest);
  expectFailure({status, status}, oneRequest);
  expectFailure({"", ""}, oneRequest);
}

TEST(CommandLineTest, BadRequestsFailWithOneLineOnStandardError) {
  for (const char* request : {"", "{", "[]", R"({"action":"status"})",
                              R"({"action":"reset","section":"blur","index":"2"})",
                              "{\"action\":\"status\",\n\"section\":\"blur\",\"index\":2.5}"}) {
    SCOPED_TRACE(request);
    expectFailure({request});
  }
}

TEST(CommandLineTest, ChecksTheSectionBeforeLookingForResolve) {
  expectFailure({R"({"action":"status","section":"BLUR"})"},
                std::string(color::messages::kUnknownSection));
}

// A real run on a private desktop, where no Resolve runs.
TEST(CommandLineTest, OnADesktopWithoutResolveSaysWhatToOpenOrAllow) {
  const std::string desktop = TROVEMARK_SOURCE_DIR "/scripts/with-desktop";
  const std::string status = R"({"action":"status","section":"blur","extra":1})";
  expectFailure({status}, std::string(color::messages::kOpenResolve), {desktop});
  expectFailure({status}, std::string(color::messages::kNotTrusted),
                {desktop, "--no-accessibility"});
}

}  // namespace
}  // namespace trovemark
