// A short, readable Color session against a substitute Resolve read from a
// scene file: for each section a "status", a "nudge" and a "reset", each
// request shown with the helper's answer and what Resolve was asked to do.

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"
#include "color_helper/helper_main.h"
#include "scene_engine/scene.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: color-demo SCENE.json\n";
    return 2;
  }
  trovemark::ax::SystemClock clock;
  std::unique_ptr<trovemark::scene::Scene> scene;
  try {
    scene = trovemark::scene::Scene::load(argv[1], clock);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }

  const std::vector<std::string> requests{
      R"({"action":"status","section":"primaries"})",
      R"({"action":"nudge","section":"primaries","changes":{"0":5,"4":-2.5}})",
      R"({"action":"reset","section":"primaries","index":0})",
      R"({"action":"status","section":"blur","mode":"Blur"})",
      R"({"action":"nudge","section":"blur","mode":"Blur","changes":{"0":10,"8":-5}})",
      R"({"action":"reset","section":"blur","mode":"Blur","index":0})",
  };
  int failures = 0;
  std::size_t seen = 0;
  for (const std::string& request : requests) {
    std::ostringstream out, err;
    const std::vector<std::string> args{request};
    const int status = trovemark::color::helperMain(args, out, err, *scene, clock);
    std::cout << "request:  " << request << '\n';
    const auto& operations = scene->operations();
    for (; seen < operations.size(); ++seen) {
      std::cout << "  Resolve: " << operations[seen].toJsonLine() << '\n';
    }
    std::cout << (status == 0 ? "response: " + out.str() : "failure:  " + err.str()) << '\n';
    if (status != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
