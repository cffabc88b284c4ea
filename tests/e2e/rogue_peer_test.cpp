// The built helper against a program that registers as Resolve on the
// desktop's accessibility bus and misbehaves (testing/rogue/rogue_peer.cpp).
// Whatever it does, a request ends with the right answer or one of the
// helper's messages, within the request's wait budget; each case reports its
// slowest request and the helper's peak memory.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "color_helper/messages.h"
#include "testing/desktop/e2e_support.h"

namespace trovemark::e2e {
namespace {

namespace messages = color::messages;
using nlohmann::json;

struct Misbehaviour {
  std::string name;
  // "status" still gives the right answer. Otherwise the wait budget runs out
  // somewhere in the request, which then ends with one of the messages or
  // with an answer of what it read; so may "reset" always, which walks the
  // window several times and can spend its budget on a loaded machine.
  bool answers;
};

void PrintTo(const Misbehaviour& m, std::ostream* os) { *os << m.name; }

class RoguePeer : public ::testing::TestWithParam<Misbehaviour> {};

TEST_P(RoguePeer, EndsWithTheAnswerOrAMessageWithinTheBound) {
  const Misbehaviour& m = GetParam();
  TempDir dir;
  const auto log = dir.path() / "calls";
  auto peer = testing::Standin::start(
      {TROVEMARK_BINARY_DIR "/bin/rogue-peer", m.name, "--log", log.string()});
  InProcess expected(defaultSceneFile());

  const std::set<std::string> clear{
      std::string(messages::kOpenResolve),         std::string(messages::kOpenProject),
      std::string(messages::kOpenColorPage),       std::string(messages::kColorBarsUnavailable),
      std::string(messages::kControlNotActivated), std::string(messages::kResetUnavailable)};
  double slowest = 0;
  const std::string status = R"({"action":"status","section":"primaries"})";
  for (const std::string& request :
       {status, std::string(R"({"action":"reset","section":"primaries","index":0})")}) {
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = runHelper(request);
    slowest = std::max(
        slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    const Outcome answer = expected.run(request);
    const std::string line = outcome.err.substr(0, outcome.err.size() - 1);
    if (m.answers && (request == status || outcome.status == 0)) {
      EXPECT_EQ(outcome, answer) << request;
    } else if (outcome.status == 0) {
      // Where the wait budget ran out part way through the palette, what was
      // not read is missing (a slider reads 0): only the answer's form holds.
      EXPECT_EQ(outcome.err, "") << request;
      EXPECT_EQ(json::parse(outcome.out).size(), json::parse(answer.out).size()) << outcome;
    } else {
      EXPECT_EQ(outcome.out, "") << request;
      EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome;
      EXPECT_TRUE(clear.count(line) == 1 || line.starts_with(messages::kReadoutChanged) ||
                  line.starts_with("Resolve's primaries controls changed"))
          << outcome;
    }
  }
  // Each case runs in a process of its own, and the peer has not ended yet:
  // the largest child so far is a helper.
  rusage children{};
  getrusage(RUSAGE_CHILDREN, &children);
  peer->stop();
  std::string calls;
  std::ifstream(log) >> calls >> calls;
  std::printf("%s: slowest request %.2f s, helper's peak at most %ld KiB, %s calls answered\n",
              m.name.c_str(), slowest, children.ru_maxrss, calls.empty() ? "?" : calls.c_str());
  RecordProperty("slowest_ms", static_cast<int>(slowest * 1000));
  RecordProperty("peak_kib", static_cast<int>(children.ru_maxrss));
  if (m.name == "cycle") {
    // One walk per request finds no Color page: at most the limit and the
    // read-ahead in nodes, four calls each, and a few to find the window.
    EXPECT_LE(std::stol(calls), 2 * ((1800 + 64) * 4 + 20));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Misbehaviours, RoguePeer,
    ::testing::Values(Misbehaviour{"none", true}, Misbehaviour{"cycle", false},
                      Misbehaviour{"wide", true}, Misbehaviour{"windows", true},
                      Misbehaviour{"wrong-types", false}, Misbehaviour{"slow", false},
                      Misbehaviour{"disconnect", false}, Misbehaviour{"flood", false},
                      Misbehaviour{"huge-text", false}),
    [](const auto& info) {
      std::string name = info.param.name;
      std::erase(name, '-');
      return name;
    });

}  // namespace
}  // namespace trovemark::e2e
