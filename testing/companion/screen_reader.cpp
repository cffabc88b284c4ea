#include "testing/companion/screen_reader.h"

#include <atspi/atspi.h>

#include <functional>
#include <memory>

namespace trovemark::testing {

namespace {

// One reference, released with it.
using Node = std::unique_ptr<AtspiAccessible, void (*)(gpointer)>;

Node child(AtspiAccessible* parent, gint index) {
  GError* error = nullptr;
  AtspiAccessible* node = atspi_accessible_get_child_at_index(parent, index, &error);
  g_clear_error(&error);
  return Node(node, g_object_unref);
}

gint childCount(AtspiAccessible* node) {
  GError* error = nullptr;
  const gint count = atspi_accessible_get_child_count(node, &error);
  g_clear_error(&error);
  return count;
}

std::string nameOf(AtspiAccessible* node) {
  GError* error = nullptr;
  gchar* name = atspi_accessible_get_name(node, &error);
  g_clear_error(&error);
  std::string text = name ? name : "";
  g_free(name);
  return text;
}

AtspiRole roleOf(AtspiAccessible* node) {
  GError* error = nullptr;
  const AtspiRole role = atspi_accessible_get_role(node, &error);
  g_clear_error(&error);
  return role;
}

bool showing(AtspiAccessible* node) {
  AtspiStateSet* states = atspi_accessible_get_state_set(node);
  const bool shows = states && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
  if (states) g_object_unref(states);
  return shows;
}

// Pre-order below `node`, until `visit` says stop.
bool walk(AtspiAccessible* node, const std::function<bool(AtspiAccessible*)>& visit) {
  for (gint i = 0; i < childCount(node); ++i) {
    Node next = child(node, i);
    if (next && (!visit(next.get()) || !walk(next.get(), visit))) return false;
  }
  return true;
}

// Walks the showing window `title` of `application` (if any) with `visit`;
// false when the application is not on the bus.
bool walkWindow(const std::string& application, const std::string& title,
                const std::function<bool(AtspiAccessible*)>& visit) {
  Node desktop(atspi_get_desktop(0), g_object_unref);
  bool found = false;
  for (gint i = 0; desktop && i < childCount(desktop.get()); ++i) {
    Node app = child(desktop.get(), i);
    if (!app || nameOf(app.get()) != application) continue;
    found = true;
    // Read afresh: nothing the library learnt earlier stands in for an answer.
    atspi_accessible_clear_cache(app.get());
    atspi_accessible_set_cache_mask(app.get(), ATSPI_CACHE_NONE);
    for (gint w = 0; w < childCount(app.get()); ++w) {
      Node window = child(app.get(), w);
      if (window && nameOf(window.get()) == title && showing(window.get())) {
        walk(window.get(), visit);
        return true;
      }
    }
  }
  return found;
}

}  // namespace

ScreenReader::ScreenReader() { atspi_init(); }

std::optional<std::vector<std::string>> ScreenReader::lines(const std::string& application,
                                                            const std::string& title) {
  std::vector<std::string> lines;
  const bool found = walkWindow(application, title, [&](AtspiAccessible* node) {
    const AtspiRole role = roleOf(node);
    if (role == ATSPI_ROLE_LABEL) lines.push_back("text:" + nameOf(node));
    if (role == ATSPI_ROLE_PUSH_BUTTON) lines.push_back(nameOf(node));
    if (role == ATSPI_ROLE_SEPARATOR) lines.push_back("---");
    return true;
  });
  if (!found) return std::nullopt;
  return lines;
}

bool ScreenReader::press(const std::string& application, const std::string& title,
                         const std::string& name) {
  bool pressed = false;
  walkWindow(application, title, [&](AtspiAccessible* node) {
    if (roleOf(node) != ATSPI_ROLE_PUSH_BUTTON || nameOf(node) != name) return true;
    AtspiAction* action = atspi_accessible_get_action_iface(node);
    GError* error = nullptr;
    for (gint i = 0; action && i < atspi_action_get_n_actions(action, &error); ++i) {
      gchar* what = atspi_action_get_action_name(action, i, &error);
      if (what && std::string(what) == "Press") pressed = atspi_action_do_action(action, i, &error);
      g_free(what);
    }
    g_clear_error(&error);
    if (action) g_object_unref(action);
    return false;
  });
  return pressed;
}

}  // namespace trovemark::testing
