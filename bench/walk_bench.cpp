#include "bench/walk_bench.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bus_monitor.h"
#include "color_helper/accessibility/atspi_linux.h"
#include "color_helper/accessibility/element.h"
#include "color_helper/accessibility/platform.h"
#include "color_helper/dispatcher.h"
#include "testing/desktop/processes.h"
#include "testing/desktop/reference_walk.h"

namespace trovemark::bench {

// The programs and desktop services it runs come from the tests' support.
using namespace ::trovemark::testing;

namespace {

using Ms = std::chrono::duration<double, std::milli>;

// The directory holding the running executable.
std::string executableDir() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

struct Sample {
  double ms = 0;
  std::uint64_t calls = 0;
};

// Medians of time and calls, taken separately.
Sample median(std::vector<Sample> samples) {
  if (samples.empty()) return {};
  auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
  std::nth_element(samples.begin(), middle, samples.end(),
                   [](const Sample& a, const Sample& b) { return a.ms < b.ms; });
  Sample out{middle->ms, 0};
  std::nth_element(samples.begin(), middle, samples.end(),
                   [](const Sample& a, const Sample& b) { return a.calls < b.calls; });
  out.calls = middle->calls;
  return out;
}

struct Options {
  int runs = 9;
  std::string json;
  std::string scene = std::string(TROVEMARK_SOURCE_DIR) + "/scenes/color-page.json";
  std::string standin = executableDir() + "/resolve-standin";
};

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--runs") {
      options.runs = std::stoi(value());
      if (options.runs < 1) throw std::invalid_argument("--runs must be at least 1");
    } else if (arg == "--json") {
      options.json = value();
    } else if (arg == "--scene") {
      options.scene = value();
    } else if (arg == "--standin") {
      options.standin = value();
    } else {
      throw std::invalid_argument("unknown argument " + arg +
                                  "\nusage: walk-bench [--runs N] [--json FILE] [--scene FILE] "
                                  "[--standin PROGRAM]");
    }
  }
  return options;
}

struct SectionFigures {
  std::size_t nodes = 0;
  // In this process: the reference walk, the helper's walk reading
  // everything, and whole requests through `run`.
  Sample reference, walk, status, nudge;
  // The real TrovemarkColorAX, from its start to its exit, its calls counted
  // on the bus.
  Sample processStatus, processNudge;
};

// Runs the built helper once; its time and its calls as the bus saw them.
Sample runHelper(BusMonitor& monitor, const std::string& request) {
  static const std::string helper = executableDir() + "/TrovemarkColorAX";
  const auto before = monitor.counts();
  const auto start = std::chrono::steady_clock::now();
  const ProgramResult result = runProgram({helper, request});
  const double ms = Ms(std::chrono::steady_clock::now() - start).count();
  if (result.status != 0) {
    throw std::runtime_error("TrovemarkColorAX " + request + " failed: " + result.err);
  }
  return Sample{ms, BusMonitor::newcomers(before, monitor.counts())};
}

SectionFigures measure(const std::string& section, int runs, ax::atspi::Accessibility& ax,
                       ax::Clock& clock, BusMonitor& monitor) {
  auto request = [&](const std::string& action, double change) {
    color::Request r;
    r.action = action;
    r.section = section;
    if (action == "nudge") r.changes = std::map<std::string, double>{{"0", change}};
    const auto calls = ax.calls();
    const auto start = std::chrono::steady_clock::now();
    color::run(ax, clock, r, color::messages::kLinuxMessages);
    return Sample{Ms(std::chrono::steady_clock::now() - start).count(), ax.calls() - calls};
  };
  auto process = [&](const std::string& action, double change) {
    std::string json = R"({"action":")" + action + R"(","section":")" + section + "\"";
    if (action == "nudge") json += R"(,"changes":{"0":)" + std::to_string(change) + "}";
    return runHelper(monitor, json + "}");
  };

  ReferenceWalker reference;
  if (!reference.findWindow())
    throw std::runtime_error("the reference walk finds no Resolve window");
  const ax::ElementRef window = reference.window();

  SectionFigures figures;
  std::vector<Sample> referenceRuns, walkRuns, statusRuns, nudgeRuns, processStatusRuns,
      processNudgeRuns;
  for (int i = 0; i < runs; ++i) {
    std::fprintf(stderr, "walk-bench: %s, run %d of %d\n", section.c_str(), i + 1, runs);
    // Interleaved, so that a burst of load elsewhere on the machine hits all
    // four alike.
    auto start = std::chrono::steady_clock::now();
    const ReferenceWalk walked = reference.walk(ax::kDefaultWalkLimit);
    referenceRuns.push_back({Ms(std::chrono::steady_clock::now() - start).count(), walked.calls});
    figures.nodes = walked.elements.size();

    const auto calls = ax.calls();
    start = std::chrono::steady_clock::now();
    ax::Walk walk = ax::flatten(ax, window, ax::kDefaultWalkLimit, ax::ReadingPlan::everything());
    const auto& list = walk.readAll();
    walkRuns.push_back({Ms(std::chrono::steady_clock::now() - start).count(), ax.calls() - calls});
    if (list.size() != walked.elements.size()) {
      throw std::runtime_error("the helper's walk read " + std::to_string(list.size()) +
                               " nodes, the reference walk " +
                               std::to_string(walked.elements.size()));
    }
    statusRuns.push_back(request("status", 0));
    // Back and forth, so the window stays as it was.
    nudgeRuns.push_back(request("nudge", i % 2 == 0 ? 1 : -1));
    processStatusRuns.push_back(process("status", 0));
    processNudgeRuns.push_back(process("nudge", i % 2 == 0 ? 1 : -1));
  }
  figures.reference = median(referenceRuns);
  figures.walk = median(walkRuns);
  figures.status = median(statusRuns);
  figures.nudge = median(nudgeRuns);
  figures.processStatus = median(processStatusRuns);
  figures.processNudge = median(processNudgeRuns);
  return figures;
}

void print(const std::string& section, const SectionFigures& f) {
  const double ref = f.reference.ms;
  std::printf("%s (%zu nodes)\n", section.c_str(), f.nodes);
  std::printf("  %-16s %9.1f ms %7llu calls\n", "reference walk", ref,
              static_cast<unsigned long long>(f.reference.calls));
  std::printf("  %-16s %9.1f ms %7llu calls  %5.2fx faster than the reference walk\n", "full walk",
              f.walk.ms, static_cast<unsigned long long>(f.walk.calls), ref / f.walk.ms);
  std::printf("  %-16s %9.1f ms %7llu calls  %5.2fx faster than the reference walk\n", "\"status\"",
              f.status.ms, static_cast<unsigned long long>(f.status.calls), ref / f.status.ms);
  std::printf("  %-16s %9.1f ms %7llu calls  %5.2fx faster; %.2fx a \"status\"\n", "\"nudge\"",
              f.nudge.ms, static_cast<unsigned long long>(f.nudge.calls), ref / f.nudge.ms,
              f.nudge.ms / f.status.ms);
  std::printf("  TrovemarkColorAX, start to exit:\n");
  std::printf("  %-16s %9.1f ms %7llu calls  %5.2fx faster than the reference walk\n", "\"status\"",
              f.processStatus.ms, static_cast<unsigned long long>(f.processStatus.calls),
              ref / f.processStatus.ms);
  std::printf("  %-16s %9.1f ms %7llu calls  %5.2fx faster; %.2fx a \"status\"\n", "\"nudge\"",
              f.processNudge.ms, static_cast<unsigned long long>(f.processNudge.calls),
              ref / f.processNudge.ms, f.processNudge.ms / f.processStatus.ms);
}

}  // namespace

int walkBenchMain(int argc, char** argv) {
  try {
    const Options options = parse(argc, argv);
    reexecInsideDesktop(std::string(TROVEMARK_SOURCE_DIR) + "/scripts/with-desktop", argc, argv);

    auto standin = Standin::start({options.standin, options.scene});
    ax::setUpProcess();
    ax::SystemClock clock;
    // One adapter serves every run here, not one request: no wait budget.
    ax::atspi::Options unbounded = ax::atspi::busesNamedIn(ax::currentEnvironment());
    unbounded.waitBudget = std::chrono::hours(24);
    ax::atspi::Accessibility ax(clock, unbounded);
    BusMonitor monitor(accessibilityBusAddress());
    // The figures are for a window as a colourist has it once both sections
    // have been used: both palettes show, as when a knob is turned.
    for (const std::string section : {"blur", "primaries"}) {
      color::Request show;
      show.action = "status";
      show.section = section;
      color::run(ax, clock, show, color::messages::kLinuxMessages);
    }
    std::map<std::string, SectionFigures> figures;
    for (const std::string section : {"primaries", "blur"}) {
      figures[section] = measure(section, options.runs, ax, clock, monitor);
    }
    standin->stop();

    std::printf("walk-bench: %s, medians of %d runs\n", options.scene.c_str(), options.runs);
    for (const std::string section : {"primaries", "blur"}) print(section, figures[section]);

    if (!options.json.empty()) {
      nlohmann::json out;
      const auto& p = figures["primaries"];
      out["nodes"] = p.nodes;
      out["reference_calls"] = p.reference.calls;
      for (const std::string section : {"primaries", "blur"}) {
        const auto& f = figures[section];
        out["nodes_" + section] = f.nodes;
        out["reference_ms_" + section] = f.reference.ms;
        out["reference_calls_" + section] = f.reference.calls;
        out["walk_ms_" + section] = f.walk.ms;
        out["walk_calls_" + section] = f.walk.calls;
        out["status_ms_" + section] = f.status.ms;
        out["status_calls_" + section] = f.status.calls;
        out["status_speedup_" + section] = f.reference.ms / f.status.ms;
        out["nudge_ms_" + section] = f.nudge.ms;
        out["nudge_calls_" + section] = f.nudge.calls;
        out["nudge_over_status_" + section] = f.nudge.ms / f.status.ms;
        out["process_status_ms_" + section] = f.processStatus.ms;
        out["process_status_calls_" + section] = f.processStatus.calls;
        out["process_status_speedup_" + section] = f.reference.ms / f.processStatus.ms;
        out["process_nudge_ms_" + section] = f.processNudge.ms;
        out["process_nudge_calls_" + section] = f.processNudge.calls;
        out["process_nudge_over_status_" + section] = f.processNudge.ms / f.processStatus.ms;
      }
      std::ofstream file(options.json);
      file << out.dump(2) << "\n";
      if (!file) throw std::runtime_error("cannot write " + options.json);
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "walk-bench: %s\n", e.what());
    return 1;
  }
}

}  // namespace trovemark::bench
