#include "testing/desktop/standin_client.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

namespace trovemark::standin::testing {

namespace {

// Bounds that only a hung program reaches; they are no timing assertions.
constexpr int kLineTimeoutMs = 60000;
constexpr int kFindAttempts = 200;

std::string takeError(GError* error) {
  std::string message = error ? error->message : "";
  if (error) g_error_free(error);
  return message;
}

int statusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/standin-test.XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::write(const std::string& name, const std::string& text) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream(file) << text;
  return file;
}

std::string standinProgram() { return TROVEMARK_BINARY_DIR "/bin/resolve-standin"; }

std::vector<std::string> readLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

StandinProcess::StandinProcess(const std::vector<std::string>& arguments,
                               const std::string& program) {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot fork");
  if (pid_ == 0) {
    ::dup2(pipe[1], STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipe[1]);
  stdout_ = pipe[0];
}

StandinProcess::~StandinProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (stdout_ >= 0) ::close(stdout_);
}

std::optional<std::string> StandinProcess::readLine() {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kLineTimeoutMs);
  while (true) {
    const std::size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd fd{stdout_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    char chunk[256];
    const ssize_t got = ::read(stdout_, chunk, sizeof chunk);
    if (got <= 0) return std::nullopt;
    buffered_.append(chunk, static_cast<std::size_t>(got));
  }
}

int StandinProcess::terminate() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  return wait();
}

int StandinProcess::wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return statusOf(status);
}

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
