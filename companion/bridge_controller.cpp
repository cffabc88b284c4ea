#include "companion/bridge_controller.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <utility>

#include "companion/pairing_text.h"

namespace trovemark::companion {
namespace {

constexpr const char* kScriptName = "zelvan_bridge";
constexpr const char* kScriptExtension = "py";
constexpr const char* kTokenFileVariable = "ZELVAN_TOKEN_FILE";
constexpr const char* kCompanionFolder = "Zelvan";
constexpr const char* kTokenFileName = ".pairing-token";
constexpr const char* kFingerprintFileName = "bridge-fingerprint";

// A pairing file larger than this is not one the bridge wrote; it is treated
// as not ready rather than read into memory.
constexpr std::size_t kPairingFileLimit = 64 * 1024;
constexpr std::size_t kFingerprintLength = 64;
constexpr auto kRestartDelay = std::chrono::seconds(3);

constexpr const char* kStarting = "Starting bridge\u2026";
constexpr const char* kRestarting = "Bridge stopped. Restarting\u2026";
constexpr const char* kLoginItemStartupPrefix = "Enable Launch at Login from this menu: ";

std::string joinPath(const std::string& folder, const std::string& name) {
  return (std::filesystem::path(folder) / name).string();
}

// The plain path of a location: no trailing separator.
std::string plainPath(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::shared_ptr<BridgeController> BridgeController::create(Platform platform) {
  auto controller = std::make_shared<BridgeController>(Key{}, std::move(platform));
  controller->initialise();
  return controller;
}

BridgeController::BridgeController(Key, Platform platform) : platform_(std::move(platform)) {}

BridgeController::~BridgeController() = default;

void BridgeController::initialise() {
  setSummary(kStarting);
  setError(std::nullopt);
  setLaunchesAtLogin(platform_.loginItem->status() == LoginItem::Status::kEnabled);
  process_.reset();
  shouldRun_ = true;
  tokenFile_ = defaultTokenFile();
  start();
  startupLoginItemStep();
}

BridgeController::SubscriptionId BridgeController::subscribe(WillChange observer) {
  const SubscriptionId id = nextSubscription_++;
  observers_.emplace_back(id, std::move(observer));
  return id;
}

void BridgeController::unsubscribe(SubscriptionId id) {
  std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void BridgeController::willChange(Property property) {
  // A copy, so that an observer may unsubscribe while being notified.
  const auto observers = observers_;
  for (const auto& [id, observer] : observers) observer(property);
}

void BridgeController::setSummary(std::string value) {
  willChange(Property::kSummary);
  summary_ = std::move(value);
}

void BridgeController::setError(std::optional<std::string> value) {
  willChange(Property::kError);
  error_ = std::move(value);
}

void BridgeController::setLaunchesAtLogin(bool value) {
  willChange(Property::kLaunchesAtLogin);
  launchesAtLogin_ = value;
}

std::optional<std::string> BridgeController::locateResolve() {
  std::vector<std::string> candidates;
  for (const auto& location : platform_.applications->runningBundleLocations()) {
    if (location) candidates.push_back(*location);
  }
  if (auto registered = platform_.applications->registeredLocation()) {
    candidates.push_back(*registered);
  }
  candidates.push_back(platform_.resolve.fixedLocation);
  for (const auto& candidate : candidates) {
    if (platform_.files->exists(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<std::string> BridgeController::locateRuntime(const std::string& resolve) {
  for (const auto& runtime : platform_.resolve.runtimes) {
    std::string path = joinPath(resolve, runtime);
    if (platform_.files->isExecutableFile(path)) return path;
  }
  return std::nullopt;
}

std::string BridgeController::defaultTokenFile() {
  const std::string folder =
      joinPath(platform_.files->applicationSupportFolder(), kCompanionFolder);
  // A folder that cannot be created is not fatal here: the bridge is still
  // given the path, and the pairing link reports "not ready" until it exists.
  (void)platform_.files->createPrivateFolder(folder);
  return joinPath(folder, kTokenFileName);
}

void BridgeController::start() {
  if (!shouldRun_) return;
  if (process_ && process_->isRunning()) return;

  const auto resolve = locateResolve();
  if (!resolve) {
    setSummary("DaVinci Resolve Studio is required");
    setError(platform_.texts.installResolve);
    return;
  }
  const auto interpreter = locateRuntime(*resolve);
  if (!interpreter) {
    setSummary("Resolve scripting runtime is missing");
    setError(
        "This companion requires Resolve Studio with bundled ResolvePython (21.1 or later). "
        "Found Resolve at " +
        plainPath(*resolve) + ", but its runtime is missing.");
    return;
  }
  const auto script = platform_.resources->resourcePath(kScriptName, kScriptExtension);
  if (!script) {
    setSummary("Companion installation is incomplete");
    setError(platform_.texts.reinstall);
    return;
  }

  LaunchRequest request;
  request.executable = *interpreter;
  request.arguments = {*script};
  request.environment = platform_.environment;
  request.environment[kTokenFileVariable] = tokenFile_;

  // The report comes on a platform thread: it only hands over to the main
  // thread, and holds neither the controller nor the executor alive.
  std::weak_ptr<BridgeController> weakSelf = weak_from_this();
  std::weak_ptr<MainThreadExecutor> weakExecutor = platform_.executor;
  TerminationHandler onExit = [weakSelf, weakExecutor](const std::shared_ptr<ChildProcess>& child) {
    if (auto executor = weakExecutor.lock()) {
      executor->post([weakSelf, child] {
        if (auto self = weakSelf.lock()) self->bridgeDidExit(child);
      });
    }
  };

  auto result = platform_.processes->launch(request, std::move(onExit));
  if (auto* failure = std::get_if<std::string>(&result)) {
    setSummary("Bridge could not start");
    setError(*failure);
    return;
  }
  process_ = std::get<std::shared_ptr<ChildProcess>>(std::move(result));
  setSummary(platform_.texts.bridgeRunning);
  setError(std::nullopt);
}

void BridgeController::bridgeDidExit(const std::shared_ptr<ChildProcess>& child) {
  if (!shouldRun_) return;
  // Identity of the handle: a late report about a replaced child is dropped.
  if (!process_ || process_ != child) return;
  process_.reset();
  setSummary(kRestarting);
  // The waiting task holds the controller weakly: the executor's queue must
  // not own the controller, which in turn owns the executor.
  std::weak_ptr<BridgeController> weakSelf = weak_from_this();
  platform_.executor->postAfter(kRestartDelay, [weakSelf] {
    if (auto self = weakSelf.lock()) self->start();
  });
}

void BridgeController::restart() {
  if (process_) {
    process_->clearTerminationHandler();
    process_->terminate();
  }
  process_.reset();
  start();
}

void BridgeController::stop() {
  shouldRun_ = false;
  if (process_) {
    process_->clearTerminationHandler();
    if (process_->isRunning()) process_->terminate();
  }
  process_.reset();
}

std::optional<std::string> BridgeController::pairingLink() {
  const std::string host = platform_.hostName->hostName();
  if (!host.ends_with(".local")) return std::nullopt;

  auto readText = [this](const std::string& path) -> std::optional<std::string> {
    auto bytes = platform_.files->readSmallFile(path, kPairingFileLimit);
    if (!bytes || !isValidUtf8(*bytes)) return std::nullopt;
    return trimWhitespace(*bytes);
  };
  const auto token = readText(tokenFile_);
  if (!token) return std::nullopt;
  const auto fingerprint =
      readText(std::filesystem::path(tokenFile_).replace_filename(kFingerprintFileName).string());
  if (!fingerprint) return std::nullopt;
  if (token->empty()) return std::nullopt;
  if (characterCount(*fingerprint) != kFingerprintLength) return std::nullopt;
  return composePairingLink(host, *token, *fingerprint);
}

void BridgeController::copyPairingLink() {
  if (!process_ || !process_->isRunning()) {
    // With an error shown, that line stays the only explanation.
    if (!error_) setSummary("Start the bridge before copying a pairing link");
    return;
  }
  const auto link = pairingLink();
  if (!link) {
    setSummary("Pairing link is not ready; restart the bridge");
    return;
  }
  platform_.pasteboard->clearContents();
  platform_.pasteboard->writeText(*link);
  setSummary("Pairing link copied");
}

void BridgeController::enableKeyboardControl() {
  if (platform_.trust->isTrusted(/*prompt=*/true)) {
    setSummary("Keyboard control enabled");
  } else {
    setSummary(platform_.texts.grantKeyboardControl);
  }
}

void BridgeController::toggleLaunchAtLogin() {
  const auto failure = launchesAtLogin_ ? platform_.loginItem->unregisterItem()
                                        : platform_.loginItem->registerItem();
  if (failure) {
    setError(*failure);
    return;
  }
  setLaunchesAtLogin(platform_.loginItem->status() == LoginItem::Status::kEnabled);
  setError(std::nullopt);
}

void BridgeController::startupLoginItemStep() {
  if (platform_.loginItem->status() != LoginItem::Status::kNotRegistered) return;
  if (const auto failure = platform_.loginItem->registerItem()) {
    setError(kLoginItemStartupPrefix + *failure);
    return;
  }
  setLaunchesAtLogin(platform_.loginItem->status() == LoginItem::Status::kEnabled);
}

}  // namespace trovemark::companion
