#pragma once

// What the end-to-end tests share: the built programs, scene files edited in
// code, the helper run as a process against the stand-in, and the same request
// run in-process against the same scene as the expectation.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "scene_engine/scene.h"
#include "testing/desktop/processes.h"
#include "testing/fake_clock.h"
#include "testing/scene_fixture.h"
#include "testing/temp_dir.h"

namespace trovemark::e2e {

using testing::defaultScene;
using testing::nodeById;
using testing::TempDir;

std::string helperProgram();
std::filesystem::path defaultSceneFile();

// How one run of the helper ended.
using Outcome = testing::ProgramResult;

// The built helper, as a caller starts it.
Outcome runHelper(const std::string& request);

// The helper's logic over the in-process scene, with a fake clock that the
// settle wait advances; after each request the clock moves on by two seconds,
// as the real one does between requests, so delayed effects are due.
class InProcess {
 public:
  explicit InProcess(const std::filesystem::path& scene);
  Outcome run(const std::string& request);
  // Every operation the scene received, refused ones included.
  const std::vector<scene::Operation>& operations() const { return scene_->operations(); }

 private:
  testing::FakeClock clock_;
  std::unique_ptr<scene::Scene> scene_;
};

// The lines of a file, each parsed as JSON.
std::vector<nlohmann::json> readJsonLines(const std::filesystem::path& file);

// Starts the stand-in on `scene`, showing application `application`, with
// any further arguments.
std::unique_ptr<testing::Standin> startStandin(const std::filesystem::path& scene,
                                               int application = 0,
                                               const std::vector<std::string>& more = {});

}  // namespace trovemark::e2e
