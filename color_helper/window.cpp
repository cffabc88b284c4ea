#include "color_helper/window.h"

#include <string>
#include <variant>
#include <vector>

#include "color_helper/accessibility/element.h"
#include "color_helper/color_error.h"
#include "color_helper/messages.h"
#include "color_helper/resolve.h"

namespace trovemark::color {

ax::ElementRef currentWindow(ax::Accessibility& ax) { return chooseWindow(ax).window; }

WindowChoice chooseWindow(ax::Accessibility& ax) {
  const std::vector<ax::ProcessId> running = ax.runningApplications(resolveApplication());
  if (running.empty()) throw ColorError(std::string(messages::kOpenResolve));

  // Further instances are ignored, even when only they show a window.
  const ax::ElementRef application = ax.applicationElement(running.front());

  if (auto focused = ax::attribute(ax, application, ax::Attribute::kFocusedWindow)) {
    if (const auto* window = std::get_if<ax::ElementRef>(&*focused); window && *window) {
      return {*window, true};
    }
  }
  if (auto windows = ax::attribute(ax, application, ax::Attribute::kWindows)) {
    if (const auto* list = std::get_if<std::vector<ax::ElementRef>>(&*windows);
        list && !list->empty() && list->front()) {
      return {list->front(), false};
    }
  }
  throw ColorError(std::string(messages::kOpenProject));
}

}  // namespace trovemark::color
