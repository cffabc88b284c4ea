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
  GError* error = nullptr;
  const std::string name = takeString(atspi_accessible_get_name(app, &error));
  if (error) {
    g_error_free(error);
    return false;
  }
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

struct ReferenceWalker::State {
  AtspiAccessible* window = nullptr;
};

ReferenceWalker::ReferenceWalker() : state_(std::make_unique<State>()) { atspi_init(); }

ReferenceWalker::~ReferenceWalker() {
  if (state_->window) g_object_unref(state_->window);
}

bool ReferenceWalker::findWindow() {
  if (state_->window) g_object_unref(state_->window);
  state_->window = nullptr;
  AtspiAccessible* desktop = atspi_get_desktop(0);
  if (!desktop) return false;
  GError* error = nullptr;
  const gint apps = atspi_accessible_get_child_count(desktop, &error);
  g_clear_error(&error);
  for (gint i = 0; i < apps && !state_->window; ++i) {
    AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &error);
    g_clear_error(&error);
    if (!app) continue;
    if (isResolve(app)) {
      // Every read goes to the application. Only the interfaces are kept,
      // and only while one node is read: the library checks them before each
      // interface call, and asking afresh each time would triple the calls.
      atspi_accessible_set_cache_mask(app, ATSPI_CACHE_INTERFACES);
      const gint windows = atspi_accessible_get_child_count(app, &error);
      g_clear_error(&error);
      AtspiAccessible* first = nullptr;
      for (gint w = 0; w < windows && !state_->window; ++w) {
        AtspiAccessible* window = atspi_accessible_get_child_at_index(app, w, &error);
        g_clear_error(&error);
        if (!window) continue;
        AtspiStateSet* states = atspi_accessible_get_state_set(window);
        const bool active = states && atspi_state_set_contains(states, ATSPI_STATE_ACTIVE);
        if (states) g_object_unref(states);
        if (active) {
          state_->window = window;
        } else if (!first) {
          first = window;
        } else {
          g_object_unref(window);
        }
      }
      if (!state_->window) {
        state_->window = first;
      } else if (first) {
        g_object_unref(first);
      }
      g_object_unref(app);
      break;
    }
    g_object_unref(app);
  }
  g_object_unref(desktop);
  return state_->window != nullptr;
}

ax::ElementRef ReferenceWalker::window() const {
  return state_->window ? handleOf(state_->window) : nullptr;
}

ReferenceWalk ReferenceWalker::walk(std::size_t limit) {
  ReferenceWalk out;
  if (!state_->window || limit == 0) return out;
  GError* error = nullptr;

  auto read = [&](AtspiAccessible* node) {
    atspi_accessible_clear_cache(node);
    ax::Role roleOfNode;
    std::string description;
    ax::Value read;
    std::optional<std::uint32_t> role = atspi_accessible_get_role(node, &error);
    ++out.calls;
    if (error) role.reset();
    if (role) roleOfNode = atspi::roleOf(*role);
    g_clear_error(&error);
    std::string name = takeString(atspi_accessible_get_name(node, &error));
    ++out.calls;
    if (!error) description = name;
    g_clear_error(&error);
    takeString(atspi_accessible_get_description(node, &error));
    ++out.calls;
    g_clear_error(&error);
    GArray* names = atspi_accessible_get_interfaces(node);
    ++out.calls;
    std::optional<std::vector<std::string>> interfaces;
    if (names) {
      interfaces.emplace();
      for (guint i = 0; i < names->len; ++i) {
        // libatspi hands back short names; the backend sees the full ones.
        interfaces->push_back(std::string("org.a11y.atspi.") + g_array_index(names, gchar*, i));
      }
      for (guint i = 0; i < names->len; ++i) g_free(g_array_index(names, gchar*, i));
      g_array_free(names, TRUE);
    }
    switch (atspi::valueSource(role, interfaces)) {
      case atspi::ValueSource::kCheckedState: {
        AtspiStateSet* states = atspi_accessible_get_state_set(node);
        ++out.calls;
        if (states) {
          read = atspi_state_set_contains(states, ATSPI_STATE_CHECKED) ? 1.0 : 0.0;
          g_object_unref(states);
        }
        break;
      }
      case atspi::ValueSource::kCurrentValue: {
        AtspiValue* value = atspi_accessible_get_value_iface(node);
        const gdouble current = atspi_value_get_current_value(value, &error);
        ++out.calls;
        if (!error) read = current;
        g_clear_error(&error);
        g_object_unref(value);
        break;
      }
      case atspi::ValueSource::kText: {
        AtspiText* text = atspi_accessible_get_text_iface(node);
        gchar* content = atspi_text_get_text(text, 0, -1, &error);
        ++out.calls;
        if (!error && content) read = std::string(content);
        g_free(content);
        g_clear_error(&error);
        g_object_unref(text);
        break;
      }
      case atspi::ValueSource::kNone:
        break;
    }
    out.elements.push_back(
        {handleOf(node), std::move(roleOfNode), std::move(description), std::move(read)});
  };
  auto childCount = [&](AtspiAccessible* node) {
    const gint count = atspi_accessible_get_child_count(node, &error);
    ++out.calls;
    g_clear_error(&error);
    return count < 0 ? 0 : count;
  };

  struct Frame {
    AtspiAccessible* node;
    gint count;
    gint next;
  };
  std::vector<Frame> stack;
  g_object_ref(state_->window);
  read(state_->window);
  stack.push_back({state_->window, childCount(state_->window), 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next >= top.count || out.elements.size() >= limit) {
      g_object_unref(top.node);
      stack.pop_back();
      continue;
    }
    AtspiAccessible* child = atspi_accessible_get_child_at_index(top.node, top.next++, &error);
    ++out.calls;
    g_clear_error(&error);
    if (!child) continue;
    read(child);
    stack.push_back({child, childCount(child), 0});
  }
  return out;
}

}  // namespace trovemark::testing
