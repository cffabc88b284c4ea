#include "testing/desktop/standin_client.h"

namespace trovemark::standin::testing {

namespace {

// A bound that only a hung program reaches; it is no timing assertion.
constexpr int kFindAttempts = 200;

std::string takeError(GError* error) {
  std::string message = error ? error->message : "";
  if (error) g_error_free(error);
  return message;
}

}  // namespace

AtspiClient::AtspiClient() { atspi_init(); }

AtspiClient::~AtspiClient() {
  for (AtspiAccessible* application : applications_) g_object_unref(application);
}

AtspiAccessible* AtspiClient::application(pid_t pid) {
  for (int attempt = 0; attempt < kFindAttempts; ++attempt) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    atspi_accessible_clear_cache(desktop);
    const int count = atspi_accessible_get_child_count(desktop, nullptr);
    for (int i = 0; i < count; ++i) {
      AtspiAccessible* child = atspi_accessible_get_child_at_index(desktop, i, nullptr);
      if (!child) continue;
      if (static_cast<pid_t>(atspi_accessible_get_process_id(child, nullptr)) == pid) {
        g_object_unref(desktop);
        atspi_accessible_set_cache_mask(child, ATSPI_CACHE_NONE);
        applications_.push_back(child);
        return child;
      }
      g_object_unref(child);
    }
    g_object_unref(desktop);
    g_usleep(50000);
  }
  return nullptr;
}

NodeView AtspiClient::read(AtspiAccessible* object) {
  NodeView view;
  GError* error = nullptr;
  gchar* role = atspi_accessible_get_role_name(object, &error);
  view.role = role ? role : "<" + takeError(error) + ">";
  g_free(role);
  gchar* name = atspi_accessible_get_name(object, nullptr);
  view.name = name ? name : "";
  g_free(name);

  GArray* interfaces = atspi_accessible_get_interfaces(object);
  for (guint i = 0; interfaces && i < interfaces->len; ++i) {
    const std::string interface = g_array_index(interfaces, gchar*, i);
    if (interface == "Value") {
      AtspiValue* value = atspi_accessible_get_value_iface(object);
      view.value = atspi_value_get_current_value(value, nullptr);
      g_object_unref(value);
    } else if (interface == "Text") {
      AtspiText* text = atspi_accessible_get_text_iface(object);
      gchar* content = atspi_text_get_text(text, 0, -1, nullptr);
      view.text = content ? content : "";
      g_free(content);
      g_object_unref(text);
    }
  }
  if (interfaces) {
    for (guint i = 0; i < interfaces->len; ++i) g_free(g_array_index(interfaces, gchar*, i));
    g_array_free(interfaces, TRUE);
  }

  AtspiStateSet* states = atspi_accessible_get_state_set(object);
  view.enabled = atspi_state_set_contains(states, ATSPI_STATE_ENABLED) &&
                 atspi_state_set_contains(states, ATSPI_STATE_SENSITIVE);
  view.checked = atspi_state_set_contains(states, ATSPI_STATE_CHECKED);
  view.active = atspi_state_set_contains(states, ATSPI_STATE_ACTIVE);
  g_object_unref(states);

  const int count = atspi_accessible_get_child_count(object, nullptr);
  for (int i = 0; i < count; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, nullptr);
    if (!child) continue;
    view.children.push_back(read(child));
    g_object_unref(child);
  }
  return view;
}

AtspiAccessible* AtspiClient::find(AtspiAccessible* root, const std::string& name) {
  gchar* own = atspi_accessible_get_name(root, nullptr);
  const bool match = own && name == own;
  g_free(own);
  if (match) return static_cast<AtspiAccessible*>(g_object_ref(root));
  const int count = atspi_accessible_get_child_count(root, nullptr);
  for (int i = 0; i < count; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(root, i, nullptr);
    if (!child) continue;
    AtspiAccessible* found = find(child, name);
    g_object_unref(child);
    if (found) return found;
  }
  return nullptr;
}

bool AtspiClient::act(AtspiAccessible* object, const std::string& action) {
  AtspiAction* actions = atspi_accessible_get_action_iface(object);
  if (!actions) return false;
  bool done = false;
  const int count = atspi_action_get_n_actions(actions, nullptr);
  for (int i = 0; i < count && !done; ++i) {
    gchar* name = atspi_action_get_name(actions, i, nullptr);
    if (name && action == name) done = atspi_action_do_action(actions, i, nullptr);
    g_free(name);
  }
  g_object_unref(actions);
  return done;
}

bool AtspiClient::setValue(AtspiAccessible* object, double value) {
  AtspiValue* values = atspi_accessible_get_value_iface(object);
  if (!values) return false;
  const bool done = atspi_value_set_current_value(values, value, nullptr);
  g_object_unref(values);
  return done;
}

std::string AtspiClient::path(AtspiAccessible* object) {
  const char* path = ATSPI_OBJECT(object)->path;
  return path ? path : "";
}

bool AtspiClient::readable(AtspiAccessible* object) {
  GError* error = nullptr;
  const AtspiRole role = atspi_accessible_get_role(object, &error);
  const bool ok = error == nullptr && role != ATSPI_ROLE_INVALID;
  takeError(error);
  return ok;
}

}  // namespace trovemark::standin::testing
