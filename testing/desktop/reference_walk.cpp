#include "testing/desktop/reference_walk.h"

#include <atspi/atspi.h>

#include <string>

#include "color_helper/accessibility/atspi_linux.h"
#include "color_helper/resolve.h"

namespace trovemark::testing {

namespace {

namespace atspi = ax::atspi;

std::string takeString(gchar* s) {
  std::string out = s ? s : "";
  g_free(s);
  return out;
}

bool isResolve(AtspiAccessible* app) {
  const std::string name = takeString(atspi_accessible_get_name(app, nullptr));
  for (const auto& known : color::resolveApplication().registeredNames) {
    if (name == known) return true;
  }
  return false;
}

ax::ElementRef handleOf(AtspiAccessible* node) {
  AtspiObject* object = ATSPI_OBJECT(node);
  return std::make_shared<atspi::Object>(object->app ? object->app->bus_name : "",
                                         object->path ? object->path : "");
}

}  // namespace

ReferenceWalker::ReferenceWalker() { atspi_init(); }

ReferenceWalker::~ReferenceWalker() { g_clear_object(&window_); }

bool ReferenceWalker::findWindow() {
  g_clear_object(&window_);
  AtspiAccessible* desktop = atspi_get_desktop(0);
  if (!desktop) return false;
  AtspiAccessible* app = nullptr;
  const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
  for (gint i = 0; i < apps && !app; ++i) {
    app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
    if (app && !isResolve(app)) g_clear_object(&app);
  }
  g_object_unref(desktop);
  if (!app) return false;
  // Every read goes to the application. Only the interfaces are kept, and
  // only while one node is read: the library checks them before each
  // interface call, and asking afresh each time would triple the calls.
  atspi_accessible_set_cache_mask(app, ATSPI_CACHE_INTERFACES);
  // The active window, else the first.
  const gint windows = atspi_accessible_get_child_count(app, nullptr);
  for (gint w = 0; w < windows; ++w) {
    AtspiAccessible* window = atspi_accessible_get_child_at_index(app, w, nullptr);
    if (!window) continue;
    AtspiStateSet* states = atspi_accessible_get_state_set(window);
    const bool active = states && atspi_state_set_contains(states, ATSPI_STATE_ACTIVE);
    if (states) g_object_unref(states);
    if (active || !window_) std::swap(window_, window);
    if (window) g_object_unref(window);
    if (active) break;
  }
  g_object_unref(app);
  return window_ != nullptr;
}

ax::ElementRef ReferenceWalker::window() const { return window_ ? handleOf(window_) : nullptr; }

ReferenceWalk ReferenceWalker::walk(std::size_t limit) {
  ReferenceWalk out;
  if (!window_ || limit == 0) return out;
  GError* error = nullptr;
  // Counts one call; whether it failed.
  const auto failed = [&] {
    ++out.calls;
    const bool failed = error != nullptr;
    g_clear_error(&error);
    return failed;
  };

  auto read = [&](AtspiAccessible* node) {
    atspi_accessible_clear_cache(node);
    ax::Element element{handleOf(node), {}, "", ax::Value{}};
    std::optional<std::uint32_t> role = atspi_accessible_get_role(node, &error);
    if (failed()) role.reset();
    if (role) element.role = atspi::roleOf(*role);
    std::string name = takeString(atspi_accessible_get_name(node, &error));
    if (!failed()) element.description = name;
    takeString(atspi_accessible_get_description(node, &error));
    failed();
    GArray* names = atspi_accessible_get_interfaces(node);
    ++out.calls;
    std::optional<std::vector<std::string>> interfaces;
    if (names) {
      interfaces.emplace();
      for (guint i = 0; i < names->len; ++i) {
        // libatspi hands back short names; the backend sees the full ones.
        interfaces->push_back(std::string("org.a11y.atspi.") + g_array_index(names, gchar*, i));
        g_free(g_array_index(names, gchar*, i));
      }
      g_array_free(names, TRUE);
    }
    switch (atspi::valueSource(role, interfaces)) {
      case atspi::ValueSource::kCheckedState: {
        AtspiStateSet* states = atspi_accessible_get_state_set(node);
        ++out.calls;
        if (states) {
          element.value = atspi_state_set_contains(states, ATSPI_STATE_CHECKED) ? 1.0 : 0.0;
          g_object_unref(states);
        }
        break;
      }
      case atspi::ValueSource::kCurrentValue: {
        AtspiValue* value = atspi_accessible_get_value_iface(node);
        const gdouble current = atspi_value_get_current_value(value, &error);
        if (!failed()) element.value = current;
        g_object_unref(value);
        break;
      }
      case atspi::ValueSource::kText: {
        AtspiText* text = atspi_accessible_get_text_iface(node);
        gchar* content = atspi_text_get_text(text, 0, -1, &error);
        if (!failed() && content) element.value = std::string(content);
        g_free(content);
        g_object_unref(text);
        break;
      }
      case atspi::ValueSource::kNone:
        break;
    }
    out.elements.push_back(std::move(element));
  };
  auto childCount = [&](AtspiAccessible* node) {
    const gint count = atspi_accessible_get_child_count(node, &error);
    failed();
    return count < 0 ? 0 : count;
  };

  struct Frame {
    AtspiAccessible* node;
    gint count;
    gint next;
  };
  std::vector<Frame> stack;
  g_object_ref(window_);
  read(window_);
  stack.push_back({window_, childCount(window_), 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next >= top.count || out.elements.size() >= limit) {
      g_object_unref(top.node);
      stack.pop_back();
      continue;
    }
    AtspiAccessible* child = atspi_accessible_get_child_at_index(top.node, top.next++, &error);
    failed();
    if (!child) continue;
    read(child);
    stack.push_back({child, childCount(child), 0});
  }
  return out;
}

}  // namespace trovemark::testing
