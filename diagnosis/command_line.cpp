#include "diagnosis/command_line.h"

#include <charconv>
#include <fstream>
#include <optional>

#include "diagnosis/capture.h"

namespace trovemark::diagnosis {

const char* const kHelp =
    R"(usage: trovemark-inspect [--scene FILE [--limit N]]

Tells what the Color helper (TrovemarkColorAX) would meet on this desktop, one
line each, in the order it meets it, and stops at the first step that fails:
the desktop's accessibility (on Linux the session's switch, the accessibility
bus and the X display's AT_SPI_BUS; on macOS this process's permission);
Resolve's processes, and whether each is on the accessibility bus; the
window the helper would use and how many elements it has; where the Color
page's landmarks stand in the walk (elements are numbered from 1 in walk
order; the helper reads the first 1,800); each palette's sliders, Reset
buttons and check boxes against what the helper expects; and last a verdict:
which sections the helper can work now, and otherwise the helper's own
message for the first failure and what to do.
It never presses or sets anything in Resolve.

  --scene FILE  also write the window, all of it up to the limit, as a scene
                file that resolve-standin can show (see docs/scene-format.md).
                The file holds the window's texts as Resolve shows them,
                project, clip and file names among them: look at it before
                you share it.
  --limit N     capture at most N elements (default 20,000); a larger window
                is cut there, and the program says so.
  --help        print this text.

Exit status: 0 when the helper can work both sections (primaries and blur) on
the window as it stands, without pressing anything; 1 otherwise, or when the
scene file cannot be written; 2 for a bad command line.
)";

namespace {

struct Options {
  bool help = false;
  std::optional<std::string> scene;
  std::size_t limit = kCaptureLimit;
};

struct UsageError {
  std::string message;
};

Options parse(std::span<const std::string> args) {
  Options options;
  bool limitGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--scene") {
      options.scene = value();
      if (options.scene->empty()) throw UsageError{"--scene needs a file name"};
    } else if (arg == "--limit") {
      const std::string& text = value();
      std::size_t n = 0;
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (error != std::errc() || end != text.data() + text.size() || n == 0) {
        throw UsageError{"--limit needs a whole number of elements above 0, not \"" + text + "\""};
      }
      options.limit = n;
      limitGiven = true;
    } else {
      throw UsageError{"unknown argument \"" + arg + "\""};
    }
  }
  if (limitGiven && !options.scene) throw UsageError{"--limit goes with --scene"};
  return options;
}

}  // namespace

int diagnosisMain(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                  ax::Accessibility& ax, Desktop& desktop) {
  Options options;
  try {
    options = parse(args);
  } catch (const UsageError& error) {
    err << "trovemark-inspect: " << error.message << " (see trovemark-inspect --help)\n";
    return 2;
  }
  if (options.help) {
    out << kHelp;
    return 0;
  }
  const Diagnosis diagnosis = diagnose(ax, desktop, out);
  const int status = diagnosis.bothWorkable ? 0 : 1;
  if (options.scene) {
    if (!diagnosis.window) {
      out << "Capture: no window to capture; nothing written to " << *options.scene << '\n';
      return 1;
    }
    const Capture captured = capture(ax, diagnosis.window, options.limit);
    std::ofstream file(*options.scene, std::ios::binary | std::ios::trunc);
    file << captured.sceneText << '\n';
    file.close();
    if (!file) {
      err << "trovemark-inspect: cannot write the scene file " << *options.scene << '\n';
      return 1;
    }
    out << "Capture: " << captured.elements << " elements written to " << *options.scene;
    if (captured.cut) {
      out << "; the window has more, and the capture stops at the limit of " << options.limit;
    }
    out << '\n';
  }
  out.flush();
  return status;
}

}  // namespace trovemark::diagnosis
