#include <iostream>
#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"
#include "color_helper/helper_main.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  auto accessibility = trovemark::ax::makePlatformAccessibility();
  trovemark::ax::SystemClock clock;
  return trovemark::color::helperMain(args, std::cout, std::cerr, *accessibility, clock);
}
