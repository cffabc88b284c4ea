#pragma once

// DaVinci Resolve as the companion knows it: what each platform calls it and
// where each platform's installer puts it and its scripting runtime. The one
// header of the companion that knows Resolve; the adapters are handed these
// values and know nothing of it themselves.

#include <string>
#include <utility>
#include <vector>

namespace trovemark::companion {

// Where one platform's installer puts Resolve, as the controller checks it.
// The same checks hold everywhere, so the platforms differ only in values.
struct ResolveInstall {
  // The folder Resolve is installed in when nothing else names one.
  std::string fixedLocation;
  // Where the scripting runtime may lie, relative to the folder Resolve was
  // found in, best first; the first that is an executable file is used.
  std::vector<std::string> runtimes;
};

// How an application's Linux installer lays it out. Linux has no bundle
// identifiers, so this is what names an application there.
struct LinuxInstallLayout {
  // The folder it is installed in when nothing else names one.
  std::string folder;
  // The program, relative to the install folder.
  std::string program;
  // The file name of the desktop entry the installer registers.
  std::string desktopEntry;
  // Where the scripting runtime may lie, relative to the install folder, best first.
  std::vector<std::string> runtimes;
};

namespace resolve {

// What macOS knows the application by.
inline constexpr const char* kBundleIdentifier = "com.blackmagic-design.DaVinciResolve";

// The application bundle where the macOS installer puts it, and the runtime
// inside the bundle.
inline ResolveInstall macInstall() {
  return {"/Applications/DaVinci Resolve/DaVinci Resolve.app",
          {"Contents/Applications/ResolvePython"}};
}

// Resolve 21.1 bundles its runtime as the folder ResolvePython/ at the root of
// the install, as on Windows (ResolvePython\ResolvePython.exe there); what the
// executable inside is called on Linux is not documented, so both likely
// names are tried before the place older builds of this companion assumed.
// docs/platform-linux.md gives the reasons for each.
inline LinuxInstallLayout linuxLayout() {
  return {"/opt/resolve",
          "bin/resolve",
          "com.blackmagicdesign.resolve.desktop",
          {"ResolvePython/ResolvePython", "ResolvePython/bin/python3", "bin/ResolvePython"}};
}

// The Linux layout as the controller checks it, under `root` ("" for this
// machine's own folders; tests lay out a Resolve under a temporary one).
inline ResolveInstall linuxInstall(const std::string& root = "") {
  LinuxInstallLayout layout = linuxLayout();
  return {root + layout.folder, std::move(layout.runtimes)};
}

}  // namespace resolve
}  // namespace trovemark::companion
