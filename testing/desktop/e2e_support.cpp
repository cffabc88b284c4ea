#include "testing/desktop/e2e_support.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "color_helper/helper_main.h"

namespace trovemark::e2e {

std::string helperProgram() { return TROVEMARK_BINARY_DIR "/bin/TrovemarkColorAX"; }
std::string standinProgram() { return TROVEMARK_BINARY_DIR "/bin/resolve-standin"; }
std::string withDesktopScript() { return TROVEMARK_SOURCE_DIR "/scripts/with-desktop"; }
std::filesystem::path defaultScene() { return TROVEMARK_SOURCE_DIR "/scenes/color-page.json"; }

std::filesystem::path writeScene(const TempDir& dir, const std::string& name,
                                 const nlohmann::json& scene) {
  return dir.write(name, scene.dump(1) + "\n");
}

nlohmann::json loadScene(const std::filesystem::path& file) {
  std::ifstream in(file);
  return nlohmann::json::parse(in);
}

namespace {

void visit(nlohmann::json& node, const std::function<void(nlohmann::json&)>& edit) {
  edit(node);
  auto children = node.find("children");
  if (children != node.end() && children->is_array()) {
    for (auto& child : *children) visit(child, edit);
  }
}

}  // namespace

void forEachNode(nlohmann::json& scene, const std::function<void(nlohmann::json&)>& edit) {
  for (auto& app : scene["applications"]) {
    auto windows = app.find("windows");
    if (windows == app.end() || !windows->is_array()) continue;
    for (auto& window : *windows) visit(window, edit);
  }
}

nlohmann::json& nodeById(nlohmann::json& scene, const std::string& id) {
  nlohmann::json* found = nullptr;
  forEachNode(scene, [&](nlohmann::json& node) {
    if (node.value("id", std::string()) == id) found = &node;
  });
  if (found == nullptr) throw std::runtime_error("the scene has no node " + id);
  return *found;
}

std::ostream& operator<<(std::ostream& os, const Outcome& outcome) {
  return os << "status " << outcome.status << ", out \"" << outcome.out << "\", err \""
            << outcome.err << "\"";
}

Outcome runHelper(const std::string& request) {
  const bench::ProgramResult result = bench::runProgram({helperProgram(), request});
  return {result.status, result.out, result.err};
}

InProcess::InProcess(const std::filesystem::path& scene)
    : scene_(scene::Scene::load(scene, clock_)) {}

Outcome InProcess::run(const std::string& request) {
  std::ostringstream out, err;
  const std::vector<std::string> args{request};
  const int status = color::helperMain(args, out, err, *scene_, clock_);
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

std::unique_ptr<bench::Standin> startStandin(const std::filesystem::path& scene, int application,
                                             std::optional<std::filesystem::path> log) {
  bench::StandinOptions options;
  options.program = standinProgram();
  options.scene = scene.string();
  options.application = application;
  if (log) options.log = log->string();
  return bench::Standin::start(options);
}

}  // namespace trovemark::e2e
