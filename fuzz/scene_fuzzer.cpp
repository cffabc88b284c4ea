// Fuzzes the whole Color helper against a random substitute Resolve: the
// input builds a scene (see random_scene.h), then a few random requests go
// through `run` one after the other, on a fake clock that moves between them.
//
// Invariants: nothing crashes or hangs; every outcome is a Response or a
// ColorError; a response echoes the section and has 15 values with rows of
// 4, 4, 4 and 3 for "primaries", or 9 values with rows of 3, 3 and 3 for
// "blur" (whether it encodes is the request fuzzer's to check); one request
// operates and reads Resolve a bounded number of times; and the helper,
// reading only what it needs, answers, operates and waits exactly as it does
// when every node is read whole before it looks at the first.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "color_helper/color_error.h"
#include "color_helper/dispatcher.h"
#include "color_helper/messages.h"
#include "fuzz/bytes.h"
#include "fuzz/check.h"
#include "fuzz/random_scene.h"
#include "scene_engine/scene.h"
#include "testing/scene_fixture.h"

namespace trovemark::fuzz {
namespace {

using color::ColorError;
using color::Request;
using color::Response;

// What one request may cost at most: three walks to show the palette, one
// re-read after "nudge" or sixteen polls after "reset", each walk up to 1800
// elements of four reads, and the readout's identity checks over one palette;
// up to two presses there plus five operations.
constexpr std::size_t kMaxWalks = 3 + 16;
constexpr std::size_t kMaxCalls = kMaxWalks * 1800 * 4 + 4 * 1800 + 64;
constexpr std::size_t kMaxOperations = 2 + 5;
constexpr std::size_t kMaxSleeps = 16;

Request randomRequest(Bytes& bytes) {
  const char* const kActions[] = {"status", "nudge", "reset", "Status", ""};
  const char* const kSections[] = {"primaries", "blur", "Primaries", "BLUR", ""};
  const char* const kModes[] = {"Blur", "Sharpen", "blur", "", "Mist"};
  // clang-format off
  const std::int64_t kIndexes[] = {0, 1, 2, 3, 4, -1, std::numeric_limits<std::int64_t>::min(),
                                   std::numeric_limits<std::int64_t>::max()};
  const char* const kKeys[] = {"0", "1", "3", "8", "14", "15", "+3", "03", "-0", "-1", " 3", "3 ",
                               "3.0", "", "three", "99999999999999999999", "9223372036854775807",
                               "-9223372036854775808", "4", "12"};
  const double kChanges[] = {0, 1, -1, 0.5, 100, -100, 100.5, -100.0001, 1e-300, -0.0, 5e-324,
                             99.99, std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 1e308};
  // clang-format on

  Request request;
  request.action = bytes.pick(kActions);
  request.section = bytes.pick(kSections);
  if (bytes.flag()) request.mode = bytes.pick(kModes);
  if (bytes.flag()) request.index = bytes.pick(kIndexes);
  if (bytes.flag()) {
    request.changes.emplace();
    for (std::uint32_t n = bytes.upTo(5); n > 0; --n) {
      // Read in sequence: the order in which arguments are evaluated is the
      // compiler's choice, and an input must mean the same under any.
      const char* key = bytes.pick(kKeys);
      const double change = bytes.flag() ? bytes.pick(kChanges) : bytes.anyDouble();
      request.changes->emplace(key, change);
    }
  }
  return request;
}

void checkResponse(const Request& request, const Response& response) {
  check(response.section == request.section, "the response does not echo the section");
  const bool primaries = request.section == "primaries";
  check(primaries || request.section == "blur", "a response for an unknown section");
  // The number of values, then each display row's length.
  std::vector<std::size_t> shape{response.values.size()};
  for (const auto& row : response.display) shape.push_back(row.size());
  check(shape == (primaries ? std::vector<std::size_t>{15, 4, 4, 4, 3}
                            : std::vector<std::size_t>{9, 3, 3, 3}),
        "a response of the wrong shape");
}

// What a request came to, comparable across runs: the response with every
// number exact to the bit (NaN included), or the message.
std::string outcomeText(const Response& response) {
  std::string text = "response " + response.section;
  const auto add = [&](const std::vector<double>& numbers) {
    text += '|';
    text.append(reinterpret_cast<const char*>(numbers.data()), numbers.size() * sizeof(double));
  };
  add(response.values);
  for (const auto& row : response.display) add(row);
  return text;
}

std::string runOne(scene::Scene& scene, testing::FakeClock& clock, const Request& request) {
  std::string outcome;
  const std::size_t callsBefore = scene.calls();
  const std::size_t operationsBefore = scene.operations().size();
  const std::size_t sleepsBefore = clock.sleeps().size();
  try {
    const Response response = color::run(scene, clock, request, color::messages::kLinuxMessages);
    checkResponse(request, response);
    outcome = outcomeText(response);
  } catch (const ColorError& error) {
    outcome = "message " + error.message();
    check(!error.message().empty(), "a ColorError without a message");
    check(error.message().find('\n') == std::string::npos, "a message of more than one line");
    if (request.section != "primaries" && request.section != "blur") {
      check(error.message() == color::messages::kUnknownSection, "an unknown section got through");
      check(scene.calls() == callsBefore, "Resolve was looked at for an unknown section");
    }
  }
  check(scene.calls() - callsBefore <= kMaxCalls, "one request read Resolve too often");
  check(scene.operations().size() - operationsBefore <= kMaxOperations,
        "one request operated too many controls");
  check(clock.sleeps().size() - sleepsBefore <= kMaxSleeps, "one request slept too often");
  return outcome;
}

}  // namespace
}  // namespace trovemark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace trovemark;
  fuzz::Bytes bytes(data, size);
  // The requests come first, so that the scene may use up the rest of the
  // input however long it is.
  std::vector<color::Request> requests;
  for (std::uint32_t n = 1 + bytes.upTo(3); n > 0; --n)
    requests.push_back(fuzz::randomRequest(bytes));
  std::vector<std::uint8_t> pauses;
  for (std::size_t i = 0; i < requests.size(); ++i) pauses.push_back(bytes.byte());

  // The same Resolve twice: one walked as the helper asks, one read whole.
  testing::FakeClock clock, everythingClock;
  std::unique_ptr<scene::Scene> scene, everything;
  const std::string sceneText = fuzz::randomScene(bytes);
  try {
    scene = scene::Scene::parse(sceneText, clock);
    everything = scene::Scene::parse(sceneText, everythingClock);
  } catch (const scene::SceneError&) {
    return 0;  // one of the few scenes the loader refuses on purpose
  }
  scene->setWalkMode(scene::Scene::WalkMode::kAsAsked);
  everything->setWalkMode(scene::Scene::WalkMode::kReadEverything);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const std::string outcome = fuzz::runOne(*scene, clock, requests[i]);
    fuzz::check(outcome == fuzz::runOne(*everything, everythingClock, requests[i]),
                "reading only what the answer needs changed the answer");
    fuzz::check(testing::jsonLog(*scene) == testing::jsonLog(*everything),
                "reading only what the answer needs changed what was operated");
    fuzz::check(clock.sleeps() == everythingClock.sleeps(),
                "reading only what the answer needs changed the settle wait");
    // Lets delayed effects of Resolve land between requests, or not.
    clock.advance(std::chrono::milliseconds(pauses[i] * 20));
    everythingClock.advance(std::chrono::milliseconds(pauses[i] * 20));
  }
  return 0;
}
