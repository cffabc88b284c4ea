#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "color_helper/accessibility/platform.h"
#include "diagnosis/command_line.h"
#include "diagnosis/desktop.h"

int main(int argc, char** argv) {
  using namespace trovemark;
  ax::setUpProcess();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ax::Environment environment = ax::currentEnvironment();
  ax::SystemClock clock;
  // A person waits for it: a window of many thousand elements, read twice.
  auto accessibility = ax::makePlatformAccessibility(environment, clock, std::chrono::minutes(2));
  auto desktop = diagnosis::makeDesktop(environment);
  return diagnosis::diagnosisMain(args, std::cout, std::cerr, *accessibility, *desktop);
}
