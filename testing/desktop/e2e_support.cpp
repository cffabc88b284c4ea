#include "testing/desktop/e2e_support.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "color_helper/helper_main.h"

namespace trovemark::e2e {

std::string helperProgram() { return TROVEMARK_BINARY_DIR "/bin/TrovemarkColorAX"; }
std::filesystem::path defaultSceneFile() { return TROVEMARK_SOURCE_DIR "/scenes/color-page.json"; }

Outcome runHelper(const std::string& request) {
  return testing::runProgram({helperProgram(), request});
}

InProcess::InProcess(const std::filesystem::path& scene)
    : scene_(scene::Scene::load(scene, clock_)) {}

Outcome InProcess::run(const std::string& request) {
  std::ostringstream out, err;
  const std::vector<std::string> args{request};
  const int status =
      color::helperMain(args, out, err, *scene_, clock_, color::messages::kLinuxMessages);
  clock_.advance(std::chrono::seconds(2));
  return {status, out.str(), err.str()};
}

std::vector<nlohmann::json> readJsonLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
  }
  return lines;
}

std::unique_ptr<testing::Standin> startStandin(const std::filesystem::path& scene, int application,
                                               const std::vector<std::string>& more) {
  std::vector<std::string> argv{TROVEMARK_BINARY_DIR "/bin/resolve-standin", scene.string(),
                                "--application", std::to_string(application)};
  argv.insert(argv.end(), more.begin(), more.end());
  return testing::Standin::start(argv);
}

}  // namespace trovemark::e2e
