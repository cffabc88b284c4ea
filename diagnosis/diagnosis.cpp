#include "diagnosis/diagnosis.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "color_helper/accessibility/element.h"
#include "color_helper/color_error.h"
#include "color_helper/dispatcher.h"
#include "color_helper/messages.h"
#include "color_helper/palette.h"
#include "color_helper/readout.h"
#include "color_helper/resolve.h"
#include "color_helper/switching.h"
#include "color_helper/window.h"

namespace trovemark::diagnosis {

namespace {

using ax::Element;
using color::ColorError;
namespace messages = color::messages;

// What the diagnosis says when a step fails: the helper's own message.
struct Failure {
  std::string message;
};

// A count as a person reads it: 1,800.
std::string count(std::size_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Elements are numbered from 1 in walk order.
std::string place(std::optional<std::size_t> index) {
  if (!index) return "absent";
  std::string text = "element " + count(*index + 1);
  if (*index >= ax::kDefaultWalkLimit) {
    text += " (beyond the " + count(ax::kDefaultWalkLimit) + " the helper reads)";
  }
  return text;
}

std::optional<std::size_t> firstWhere(const std::vector<Element>& elements,
                                      const std::function<bool(const Element&)>& match) {
  const auto found = std::find_if(elements.begin(), elements.end(), match);
  if (found == elements.end()) return std::nullopt;
  return static_cast<std::size_t>(found - elements.begin());
}

std::optional<std::size_t> textStarting(const std::vector<Element>& elements,
                                        const std::string& prefix) {
  return firstWhere(elements, [&](const Element& e) {
    return color::isStaticText(e) && color::startsWith(e.text(), prefix);
  });
}

std::optional<std::size_t> checkBox(const std::vector<Element>& elements,
                                    const std::string& description) {
  return firstWhere(elements, [&](const Element& e) {
    return e.role.is(ax::RoleKind::kCheckBox) && e.describedAs() == description;
  });
}

std::string onOff(const Element& e) { return e.number() == 1 ? "on" : "off"; }

// What to do about each message the helper may give, where the remedy does
// not depend on the platform.
std::string remedyFor(const std::string& message) {
  if (message == messages::kOpenProject) return "Open a project in Resolve.";
  if (message == messages::kOpenColorPage) return "Open the Color page in Resolve.";
  if (message == messages::kColorBarsUnavailable) {
    return "Show the Primaries palette on Resolve's Color page.";
  }
  if (message == messages::kBlurUnavailable) {
    return "Show the Blur palette's button on Resolve's Color page.";
  }
  if (message.ends_with(" mode is unavailable")) {
    return "Show the Blur palette with its Blur and Sharpen modes.";
  }
  return "This Resolve shows its palette otherwise than the helper expects: capture the window "
         "with --scene FILE and send the file with Resolve's version.";
}

std::string failed(const std::string& message, const std::string& remedy) {
  return quoted(message) + ". " + remedy;
}

class Run {
 public:
  Run(ax::Accessibility& ax, Desktop& desktop, std::ostream& out)
      : ax_(ax), desktop_(desktop), out_(out) {}

  Diagnosis operator()() {
    try {
      checkAccessibility();
      const auto pid = findResolve();
      findWindow(pid);
      readWindow();
    } catch (const Failure& failure) {
      verdict("the helper can work neither section now. " + failure.message);
    }
    return result_;
  }

 private:
  void line(const std::string& text) { out_ << text << '\n'; }
  void verdict(const std::string& text) { line("Verdict: " + text); }

  void checkAccessibility() {
    for (const auto& fact : desktop_.accessibilityFacts()) line(fact);
    const bool trusted = ax_.isProcessTrusted();
    line(std::string("The Color helper's accessibility check: ") + (trusted ? "passes" : "fails"));
    if (!trusted) {
      throw Failure{
          failed(std::string(messages::platformMessages().notTrusted), desktop_.trustRemedy())};
    }
  }

  ax::ProcessId findResolve() {
    const auto processes = desktop_.resolveProcesses();
    const auto onBus = ax_.runningApplications(color::resolveApplication());
    const auto listed = [&](ax::ProcessId pid) {
      return std::find(onBus.begin(), onBus.end(), pid) != onBus.end();
    };
    const std::string through = desktop_.reachedThrough();
    const auto as = [&](ax::ProcessId pid) { return " as " + quoted(ax_.registeredName(pid)); };
    for (const ResolveProcess& process : processes) {
      line("Resolve process " + std::to_string(process.pid) + " (" + process.program + "): " +
           (listed(process.pid)
                ? "reachable through " + through + as(process.pid)
                : "not reachable through " + through + ". " + desktop_.absentFromBusRemedy()));
    }
    for (ax::ProcessId pid : onBus) {
      const bool known = std::any_of(processes.begin(), processes.end(),
                                     [&](const ResolveProcess& p) { return p.pid == pid; });
      if (!known)
        line("Process " + std::to_string(pid) + ": reachable through " + through + as(pid));
    }
    if (processes.empty() && onBus.empty()) line("Resolve processes: none running");
    if (onBus.empty()) {
      throw Failure{
          failed(std::string(messages::kOpenResolve),
                 processes.empty() ? "Start DaVinci Resolve." : desktop_.absentFromBusRemedy())};
    }
    return onBus.front();
  }

  void findWindow(ax::ProcessId pid) {
    color::WindowChoice choice;
    try {
      choice = color::chooseWindow(ax_);
    } catch (const ColorError& error) {
      throw Failure{failed(error.message(), remedyFor(error.message()))};
    }
    result_.window = choice.window;
    ax::Walk walk = ax::flatten(ax_, choice.window, kDiagnosisLimit);
    elements_ = walk.readAll();
    const std::size_t n = elements_.size();
    line(std::string("Window: ") +
         (choice.focused ? "the focused window" : "the first window (none is focused)") +
         " of process " + std::to_string(pid) + ", " + count(n) +
         (n >= kDiagnosisLimit ? " elements or more" : " elements") +
         (n > ax::kDefaultWalkLimit
              ? " (the helper reads the first " + count(ax::kDefaultWalkLimit) + ")"
              : ""));
  }

  void readWindow() {
    const auto colorBars = checkBox(elements_, color::kColorBarsCheckBox);
    line("Color page (a text starting " + quoted(color::kColorPageTitlePrefix) +
         "): " + place(textStarting(elements_, color::kColorPageTitlePrefix)));
    line("Primaries palette title (" + quoted(color::kPrimariesTitlePrefix) +
         "...): " + place(textStarting(elements_, color::kPrimariesTitlePrefix)));
    line("Blur palette title (" + quoted(color::kBlurTitlePrefix) +
         "...): " + place(textStarting(elements_, color::kBlurTitlePrefix)));
    line("Scopes (the text " + quoted(color::kScopesTitle) +
         "): " + place(firstWhere(elements_, [](const Element& e) {
           return color::isStaticText(e) && e.text() == color::kScopesTitle;
         })));
    line("Check box " + quoted(color::kColorBarsCheckBox) + ": " + place(colorBars) +
         (colorBars ? ", " + onOff(elements_[*colorBars]) : ""));
    line("Check box " + quoted(color::kBlurCheckBox) +
         " (opens the Blur palette): " + place(checkBox(elements_, color::kBlurCheckBox)));

    // The rest is the helper's view: the first elements of the same walk.
    helperView_.assign(elements_.begin(),
                       elements_.begin() + static_cast<std::ptrdiff_t>(
                                               std::min(elements_.size(), ax::kDefaultWalkLimit)));
    std::vector<std::string> workable;
    std::optional<std::string> firstFailure;
    for (const std::string section : {color::kPrimaries, color::kBlur}) {
      describeSection(section);
      if (auto why = whyNotWorkable(section)) {
        if (!firstFailure) firstFailure = section + ": " + *why;
      } else {
        workable.push_back(section);
      }
    }
    result_.bothWorkable = workable.size() == 2;
    if (result_.bothWorkable) return verdict("the helper can work both sections now.");
    const std::string which =
        workable.empty()
            ? std::string("neither section now")
            : workable.front() + " now, not " +
                  (workable.front() == color::kPrimaries ? color::kBlur : color::kPrimaries);
    verdict("the helper can work " + which + ". " + *firstFailure);
  }

  void describeSection(const std::string& section) {
    ax::Walk view(helperView_);
    std::string text = section + " palette: ";
    try {
      const color::PaletteSnapshot run = color::paletteRun(view, section);
      const bool blur = section == color::kBlur;
      text += count(run.sliders.size()) + " sliders (expected " +
              count(color::expectedSliders(section)) + "), " +
              count(color::resetButtons(run).size()) + " Reset buttons (expected " +
              count(blur ? color::kBlurResetRows.size() : color::kPrimariesResetRows.size()) + ")";
      if (blur) {
        text += ", " + count(color::channelLinks(run).size()) + " channel links (expected " +
                count(color::kBlurResetRows.size()) + ")";
        for (const char* mode : {"Blur", "Sharpen"}) {
          ax::Walk again(helperView_);
          try {
            text += std::string(", mode ") + quoted(mode) + ": " +
                    (color::nextSwitch(again, section, mode) ? "off" : "on");
          } catch (const ColorError&) {
            text += std::string(", mode ") + quoted(mode) + ": missing";
          }
        }
      }
      if (run.sliders.size() == color::expectedSliders(section)) {
        try {
          color::displayValues(ax_, run, section);
          text += ", readout readable";
        } catch (const ColorError& error) {
          text += ", readout: " + quoted(error.message());
        }
      }
    } catch (const ColorError&) {
      text += "its title is not in the helper's walk";
    }
    line(text);
  }

  // None when the palette cuts cleanly out of the window as it stands; else
  // what the helper would do or say first, and what to do about it.
  std::optional<std::string> whyNotWorkable(const std::string& section) {
    ax::Walk view(helperView_);
    std::string message;
    try {
      color::palette(view, section);
      return std::nullopt;
    } catch (const ColorError& error) {
      message = error.message();
    }
    // A status asks for the Sharpen mode when it names none.
    ax::Walk again(helperView_);
    try {
      if (const auto next = color::nextSwitch(again, section, "Sharpen")) {
        const Element& box = helperView_[next->checkBox];
        return "the palette does not show now; the helper shows it itself on its next request "
               "by pressing the check box " +
               quoted(box.describedAs()) + " (" + place(next->checkBox) + ").";
      }
    } catch (const ColorError& error) {
      message = error.message();
    }
    return failed(message, remedyFor(message));
  }

  ax::Accessibility& ax_;
  Desktop& desktop_;
  std::ostream& out_;
  Diagnosis result_;
  std::vector<Element> elements_;
  std::vector<Element> helperView_;
};

}  // namespace

Diagnosis diagnose(ax::Accessibility& ax, Desktop& desktop, std::ostream& out) {
  return Run(ax, desktop, out)();
}

}  // namespace trovemark::diagnosis
