#include <iostream>
#include <string>
#include <vector>

#include "color_helper/accessibility/platform.h"
#include "color_helper/helper_main.h"
#include "color_helper/messages.h"

int main(int argc, char** argv) {
  trovemark::ax::setUpProcess();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  trovemark::ax::SystemClock clock;
  auto accessibility =
      trovemark::ax::makePlatformAccessibility(trovemark::ax::currentEnvironment(), clock);
  return trovemark::color::helperMain(args, std::cout, std::cerr, *accessibility, clock,
                                      trovemark::color::messages::platformMessages());
}
