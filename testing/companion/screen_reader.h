#pragma once

// A window of a running application as a screen reader meets it on the
// accessibility bus, through the desktop's own client library (libatspi):
// its lines in order, and its buttons pressed by name. Every call asks the
// application afresh.

#include <optional>
#include <string>
#include <vector>

namespace trovemark::testing {

class ScreenReader {
 public:
  ScreenReader();

  // The showing window named `title` of the application named `application`,
  // top to bottom: "text:<text>" for each label, the name of each button,
  // "---" for each separator. None when the application is not on the bus;
  // empty when no such window shows.
  std::optional<std::vector<std::string>> lines(const std::string& application,
                                                const std::string& title);
  // Presses the button named `name` in that window; false when there is none.
  bool press(const std::string& application, const std::string& title, const std::string& name);
};

}  // namespace trovemark::testing
