// The Linux adapters against real folders in a temporary home: the private
// companion folder, bounded reads, the autostart entry, finding Resolve, and
// the resource folder beside the program. (The D-Bus ones have their own
// suite, with a private bus.)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "companion/bridge_controller.h"
#include "companion/platform/adapters_linux.h"
#include "testing/companion/companion_fakes.h"
#include "testing/temp_dir.h"

namespace trovemark::companion::linux_adapters {
namespace {

using companion::testing::FakeWorld;
using trovemark::testing::readFile;
using trovemark::testing::TempDir;
using Status = LoginItem::Status;

mode_t modeOf(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(LinuxFiles, BaseFoldersFollowXdgThenHome) {
  EXPECT_EQ(dataHome({{"HOME", "/home/ada/"}}), "/home/ada/.local/share");
  EXPECT_EQ(dataHome({{"HOME", "/home/ada"}, {"XDG_DATA_HOME", "/data/"}}), "/data");
  EXPECT_EQ(dataHome({{"HOME", "/home/ada"}, {"XDG_DATA_HOME", "relative"}}),
            "/home/ada/.local/share");
  EXPECT_EQ(configHome({{"HOME", "/home/ada"}}), "/home/ada/.config");
  EXPECT_EQ(configHome({{"HOME", "/home/ada"}, {"XDG_CONFIG_HOME", "/config/"}}), "/config");
  EXPECT_EQ(dataFolders({{"HOME", "/h"}, {"XDG_DATA_DIRS", "/x:rel::/y/"}}),
            (std::vector<std::string>{"/h/.local/share", "/x", "/y"}));
  EXPECT_EQ(dataFolders({{"HOME", "/h"}}),
            (std::vector<std::string>{"/h/.local/share", "/usr/local/share", "/usr/share"}));
  EXPECT_EQ(makeFileSystem({{"HOME", "/h"}})->applicationSupportFolder(), "/h/.local/share");
}

// A new folder's modes are the desktop test's (under umask 000); here, an
// existing folder opened up since is closed again.
TEST(LinuxFiles, AnExistingCompanionFolderIsMadePrivate) {
  TempDir home;
  const std::string folder = home / ".local/share/Zelvan";
  std::filesystem::create_directories(folder);
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(makeFileSystem({})->createPrivateFolder(folder + "/"), std::nullopt);
  EXPECT_EQ(modeOf(folder), 0700u);
}

TEST(LinuxFiles, ReadsAndRunsOnlyRegularFiles) {
  TempDir dir;
  auto files = makeFileSystem({});
  const auto runnable = dir.write("runnable", "");
  ::chmod(runnable.c_str(), 0700);
  std::filesystem::create_directory(dir / "folder");
  // A pipe with no writer would block a plain open() for ever; a file or a
  // device larger than any memory would not be read to its end in time.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::resize_file(dir.write("terabyte", "abc\n"), std::uintmax_t{1} << 40);
  std::filesystem::create_symlink("/dev/zero", dir / "zeros");
  std::filesystem::create_symlink("loop", dir / "loop");
  EXPECT_EQ(files->readSmallFile(dir.write("token", "abc\n"), 16), "abc\n");
  EXPECT_EQ(files->readSmallFile(dir.write("exact", std::string(16, 'x')), 16),
            std::string(16, 'x'));
  dir.write("big", std::string(17, 'x'));
  for (const char* name : {"big", "missing", "folder", "fifo", "terabyte", "zeros", "loop"}) {
    EXPECT_EQ(files->readSmallFile(dir / name, 16), std::nullopt) << name;
  }
  EXPECT_TRUE(files->isExecutableFile(runnable));
  for (const char* name : {"token", "folder", "missing"})
    EXPECT_FALSE(files->isExecutableFile(dir / name)) << name;
  EXPECT_TRUE(files->exists(dir / "folder"));
  EXPECT_FALSE(files->exists(dir / "missing"));
}

// --- Launch at login ----------------------------------------------------------

// Switching it off and on again, and the entry's modes, are the desktop
// test's; here, an awkward program path, and what was there before.
TEST(LinuxLoginItem, AutostartEntryLifecycle) {
  TempDir home;
  const std::string program = "/opt/Trovemark Mac/bin/Zelvan$Mac 100%";
  auto item = makeLoginItem({{"HOME", home.path()}}, program);

  ASSERT_EQ(item->registerItem(), std::nullopt);
  EXPECT_EQ(item->status(), Status::kEnabled);
  // The desktop skips the entry once the program is gone.
  EXPECT_NE(
      readFile(home / ".config/autostart/ZelvanMac.desktop").find("\nTryExec=" + program + "\n"),
      std::string::npos);
  // An entry that starts another program is replaced.
  home.write(".config/autostart/ZelvanMac.desktop", "[Desktop Entry]\nExec=/home/jo/ZelvanMac\n");
  ASSERT_EQ(item->registerItem(), std::nullopt);
  EXPECT_EQ(item->status(), Status::kEnabled);
  // Nothing but the entry is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home / ".config/autostart"),
                          std::filesystem::directory_iterator()),
            1);

  ASSERT_EQ(item->unregisterItem(), std::nullopt);
  EXPECT_EQ(item->status(), Status::kNotRegistered);
  EXPECT_EQ(item->unregisterItem(), std::nullopt);
}

TEST(LinuxLoginItem, AnEntryCountsOnlyWhenItStartsThisProgram) {
  TempDir home;
  const std::string program = home.write("usr/bin/ZelvanMac", "").string();
  std::filesystem::create_symlink(program, home / "link");
  auto item = makeLoginItem({{"HOME", home.path()}}, program);
  const std::pair<std::string, Status> cases[] = {
      {"Exec=" + program + " --from-login", Status::kEnabled},
      {"Exec=" + (home / "link").string(), Status::kEnabled},
      {"Exec=/home/jo/build/bin/ZelvanMac", Status::kNotRegistered},
      {"Exec=ZelvanMac", Status::kNotRegistered},
      {"Type=Application", Status::kNotRegistered},
      {"Exec=/home/jo/build/bin/ZelvanMac\nX-GNOME-Autostart-enabled=false", Status::kSwitchedOff},
      {"Exec=" + program + "\nHidden=true", Status::kSwitchedOff},
  };
  for (const auto& [keys, status] : cases) {
    home.write(".config/autostart/ZelvanMac.desktop", "[Desktop Entry]\n" + keys + "\n");
    EXPECT_EQ(item->status(), status) << keys;
  }
}

// --- Finding Resolve ----------------------------------------------------------

TEST(LinuxApplications, RunningInstancesComeFromProcessExecutables) {
  TempDir proc;
  const auto process = [&](const std::string& pid, const std::string& exe) {
    std::filesystem::create_directories(proc / pid);
    std::filesystem::create_symlink(exe, proc / (pid + "/exe"));
  };
  process("300", "/opt/resolve/bin/resolve");
  process("20", "/mnt/Edit Suite/resolve/bin/resolve");
  process("1000", "/usr/bin/python3");
  process("4000", "/old/resolve/bin/resolve (deleted)");
  process("5000", "/somewhere/resolve");
  process("6000", "/opt/resolve/bin/resolved");
  std::filesystem::create_directories(proc / "self");
  std::filesystem::create_directories(proc / "77");  // another user's: no readable exe

  auto locator = makeApplicationLocator(resolve::linuxLayout(), {}, proc.path());
  EXPECT_EQ(locator->runningBundleLocations(),
            (std::vector<std::optional<std::string>>{"/mnt/Edit Suite/resolve", "/opt/resolve",
                                                     "/old/resolve"}));
  const auto instances = locator->runningInstances();
  ASSERT_EQ(instances.size(), 3u);
  EXPECT_EQ(instances[1].pid, 300);
  EXPECT_EQ(instances[1].program, "/opt/resolve/bin/resolve");
}

TEST(LinuxApplications, TheRegisteredLocationIsTheInstallersDesktopEntry) {
  TempDir dirs;
  const std::string entry = "applications/com.blackmagicdesign.resolve.desktop";
  const Environment env{
      {"HOME", dirs / "home"},
      {"XDG_DATA_DIRS", (dirs / "system").string() + ":" + (dirs / "vendor").string()}};
  auto locator = makeApplicationLocator(resolve::linuxLayout(), env, dirs / "noproc");
  EXPECT_EQ(locator->registeredLocation(), std::nullopt);

  dirs.write("vendor/" + entry, "[Desktop Entry]\nExec=\"/opt/Black Magic/bin/resolve\" %u\n");
  EXPECT_EQ(locator->registeredLocation(), "/opt/Black Magic");

  dirs.write("system/" + entry, "[Desktop Entry]\nPath=/srv/Edit\\sSuite/resolve\nExec=/x/bin/y\n");
  EXPECT_EQ(locator->registeredLocation(), "/srv/Edit Suite/resolve");

  // The user's own entry comes first, and a hidden one means "not registered".
  dirs.write("home/.local/share/" + entry, "[Desktop Entry]\nHidden=true\nPath=/nope\n");
  EXPECT_EQ(locator->registeredLocation(), std::nullopt);
}

// The controller over the real adapters, with Resolve installed in
// /opt/resolve under a temporary root: its runtime is the first of the places
// a Linux installer may put it that can be run. (Finding Resolve running or
// through its desktop entry is the locator's, above, and the desktop tests'.)
TEST(LinuxApplications, TheRuntimeIsTheFirstOfItsLayoutsThatCanBeRun) {
  const std::vector<std::string> runtimes = {"ResolvePython/ResolvePython",
                                             "ResolvePython/bin/python3", "bin/ResolvePython"};
  for (std::size_t first = 0; first < runtimes.size(); ++first) {
    SCOPED_TRACE(runtimes[first]);
    TempDir root;
    FakeWorld world;
    Platform platform = world.platform();
    const Environment env{{"HOME", (root / "home").string()},
                          {"XDG_DATA_DIRS", (root / "share").string()}};
    platform.applications = makeApplicationLocator(resolve::linuxLayout(), env);
    platform.files = makeFileSystem(env);
    platform.resolve = resolve::linuxInstall(root.path().string());
    for (std::size_t i = first; i < runtimes.size(); ++i)
      ::chmod(root.write("opt/resolve/" + runtimes[i], "").c_str(), 0755);
    EXPECT_EQ(BridgeController::create(platform)->error(), std::nullopt);
    ASSERT_EQ(world.requests.size(), 1u);
    EXPECT_EQ(world.requests[0].executable, root / "opt/resolve" / runtimes[first]);
  }
}

// --- Resources -----------------------------------------------------------------

TEST(LinuxResources, ResourcesLieUnderTheSharedDataFolderOfThePrefix) {
  EXPECT_EQ(resourceFolderFor("/usr/local/bin/ZelvanMac"), "/usr/local/share/trovemark");
  // The build tree is laid out the same way, with the script copied in.
  auto resources = makeResources(resourceFolderFor(TROVEMARK_BINARY_DIR "/bin/ZelvanMac"));
  const auto script = resources->resourcePath("zelvan_bridge", "py");
  ASSERT_TRUE(script);
  EXPECT_EQ(readFile(*script),
            readFile(TROVEMARK_SOURCE_DIR "/companion/resources/zelvan_bridge.py"));
  EXPECT_EQ(resources->resourcePath("zelvan_bridge", "txt"), std::nullopt);
  EXPECT_EQ(makeResources("/nonexistent")->resourcePath("zelvan_bridge", "py"), std::nullopt);
}

}  // namespace
}  // namespace trovemark::companion::linux_adapters
