// Launch at login on Linux: an XDG autostart entry for the companion in the
// user's autostart folder ($XDG_CONFIG_HOME/autostart, default
// ~/.config/autostart). Absent is "not registered", and so is an entry that
// starts another program (a build tree run once, an install since moved):
// it is not this program's login item, and registering replaces it. Present,
// this program's and not switched off is "enabled"; anything else (switched
// off with Hidden=true or X-GNOME-Autostart-enabled=false, unreadable)
// counts as neither.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "companion/platform/adapters_linux.h"
#include "companion/platform/desktop_entry_linux.h"

namespace trovemark::companion::linux_adapters {
namespace {

constexpr const char* kEntryName = "ZelvanMac.desktop";

std::string failure(const std::string& what, const std::string& path, int error) {
  return "Could not " + what + " " + path + ": " + std::strerror(error) + ".";
}

bool writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

class LinuxLoginItem final : public LoginItem {
 public:
  LinuxLoginItem(Environment env, std::string executablePath)
      : folder_(configHome(env) + "/autostart"),
        path_(folder_ + "/" + kEntryName),
        executable_(std::move(executablePath)) {}

  Status status() override {
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0)
      return errno == ENOENT || errno == ENOTDIR ? Status::kNotRegistered : Status::kUnreadable;
    std::ifstream file(path_, std::ios::binary);
    if (!file) return Status::kUnreadable;
    std::stringstream text;
    text << file.rdbuf();
    const auto keys = desktop_entry::mainGroup(text.str());
    if (keys.empty()) return Status::kUnreadable;
    const auto is = [&keys](const char* key, const char* value) {
      const auto it = keys.find(key);
      return it != keys.end() && it->second == value;
    };
    // The user's choice in the desktop's settings stands, whichever program
    // the entry names.
    if (is("Hidden", "true") || is("X-GNOME-Autostart-enabled", "false")) {
      return Status::kSwitchedOff;
    }
    const auto exec = keys.find("Exec");
    return exec != keys.end() && startsThisProgram(exec->second) ? Status::kEnabled
                                                                 : Status::kNotRegistered;
  }

  std::optional<std::string> registerItem() override {
    if (const auto made = makePrivateFolders(folder_)) {
      return failure("create the folder", folder_, made->error);
    }
    // Written beside the entry and renamed over it, so a reader at login
    // sees the old entry or the new one, never half of one.
    std::string temp = folder_ + "/." + kEntryName + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return failure("write the autostart entry", path_, errno);
    const bool written = writeAll(fd, entryText()) && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    if (!written) {
      ::unlink(temp.c_str());
      return failure("write the autostart entry", path_, writeError);
    }
    if (::rename(temp.c_str(), path_.c_str()) != 0) {
      const int renameError = errno;
      ::unlink(temp.c_str());
      return failure("write the autostart entry", path_, renameError);
    }
    return std::nullopt;
  }

  std::optional<std::string> unregisterItem() override {
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
      return failure("remove the autostart entry", path_, errno);
    }
    return std::nullopt;
  }

 private:
  // Whether an Exec value runs this program: the same path, or another name
  // (a link) for the same file.
  bool startsThisProgram(const std::string& exec) const {
    const auto value = desktop_entry::unescapeString(exec);
    const auto args = value ? desktop_entry::splitExec(*value) : std::nullopt;
    if (!args || args->empty()) return false;
    const std::string& program = args->front();
    if (program == executable_) return true;
    struct stat named {};
    struct stat own {};
    return program.starts_with('/') && ::stat(program.c_str(), &named) == 0 &&
           ::stat(executable_.c_str(), &own) == 0 && named.st_dev == own.st_dev &&
           named.st_ino == own.st_ino;
  }

  // TryExec makes the desktop skip the entry once the program is gone: an
  // uninstall leaves users' homes alone, and so leaves the entry behind.
  std::string entryText() const {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Trovemark\n"
           "Comment=Keeps the Trovemark bridge running\n"
           "TryExec=" +
           desktop_entry::escapeString(executable_) +
           "\n"
           "Exec=" +
           desktop_entry::escapeString(desktop_entry::quoteExecArgument(executable_)) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
  }

  std::string folder_;
  std::string path_;
  std::string executable_;
};

}  // namespace

std::shared_ptr<LoginItem> makeLoginItem(Environment env, std::string executablePath) {
  return std::make_shared<LinuxLoginItem>(std::move(env), std::move(executablePath));
}

}  // namespace trovemark::companion::linux_adapters
