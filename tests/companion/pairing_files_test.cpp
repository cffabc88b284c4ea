// Pairing files the bridge did not write as it should, read through the real
// file adapter: whatever lies at the two paths, the link is "not ready" and
// nothing is read beyond the documented 64 KiB bound.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "companion/bridge_controller.h"
#include "companion/platform/adapters_linux.h"
#include "testing/companion/companion_fakes.h"
#include "testing/temp_dir.h"

namespace trovemark::companion {
namespace {

namespace fs = std::filesystem;
using trovemark::testing::TempDir;

constexpr const char* kNotReady = "Pairing link is not ready; restart the bridge";
constexpr std::size_t kBound = 64 * 1024;
const std::string kFingerprint(64, 'c');

// Lays something at a path: a file's bytes, or a folder, link or the like.
using Put = std::function<void(const std::string& path)>;

Put text(std::string bytes) {
  return [bytes](const std::string& path) { std::ofstream(path, std::ios::binary) << bytes; };
}

Put folder() {
  return [](const std::string& path) { fs::create_directory(path); };
}

Put linkTo(std::string target) {
  return [target](const std::string& path) { fs::create_symlink(target, path); };
}

// A file far larger than any memory: sparse, so it costs no disk. Reading it
// whole would not finish within the test's time limit.
Put sparse(std::uintmax_t size, std::string head) {
  return [size, head](const std::string& path) {
    std::ofstream(path, std::ios::binary) << head;
    fs::resize_file(path, size);
  };
}

struct Case {
  const char* name;
  Put token;
  Put fingerprint;
  bool ready;
};

TEST(HostilePairingFiles, AnythingButTwoSmallTextFilesIsNotReady) {
  const std::string padding(kBound - kFingerprint.size() - 1, ' ');
  // What the text must be is the controller's and pairing_text's to check;
  // here, what may lie at the two paths.
  const Case cases[] = {
      // Positive controls: the bound itself is still read.
      {"plain files", text("tok\n"), text(kFingerprint + "\n"), true},
      {"fingerprint padded to the bound", text("tok"), text(kFingerprint + "\n" + padding), true},
      {"fingerprint one byte past the bound", text("tok"),
       text(kFingerprint + "\n" + padding + " "), false},
      {"terabyte token", sparse(std::uintmax_t{1} << 40, "tok\n"), text(kFingerprint), false},
      {"token is an endless device", linkTo("/dev/zero"), text(kFingerprint), false},
      {"fingerprint is a folder", text("tok"), folder(), false},
      {"token links to itself", linkTo(".pairing-token"), text(kFingerprint), false},
      {"token in UTF-16", text(std::string("\xFF\xFEt\0o\0k\0", 8)), text(kFingerprint), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    testing::FakeWorld world;
    world.bundle->host = "studio.local";
    // A runtime the real file adapter finds; the fake launcher runs nothing.
    ::chmod(home.write("resolve/bin/ResolvePython", "").c_str(), 0700);
    world.applications->registered = home / "resolve";
    Platform platform = world.platform();
    platform.files = linux_adapters::makeFileSystem({{"HOME", home.path()}});
    auto controller = BridgeController::create(platform);
    const std::string folderPath = fs::path(controller->tokenFile()).parent_path();
    ASSERT_TRUE(fs::is_directory(folderPath));
    if (c.token) c.token(controller->tokenFile());
    if (c.fingerprint) c.fingerprint(folderPath + "/bridge-fingerprint");

    controller->copyPairingLink();
    if (c.ready) {
      EXPECT_EQ(controller->summary(), "Pairing link copied");
      EXPECT_EQ(world.pasteboard->text,
                "zelvan://pair?host=studio.local&token=tok&fingerprint=" + kFingerprint);
    } else {
      EXPECT_EQ(controller->summary(), kNotReady);
      EXPECT_EQ(world.pasteboard->text, "what was there before");
      EXPECT_TRUE(world.pasteboard->log.empty());
    }
    EXPECT_EQ(controller->error(), std::nullopt);
  }
}

}  // namespace
}  // namespace trovemark::companion
