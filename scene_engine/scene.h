#pragma once

// A substitute Resolve that answers the Color helper's accessibility port
// in-process, from a scene file. Tests, the demo and benchmarks run the real
// helper logic against it; time (delayed effects) follows the injected clock.
//
// The port is a thin layer over `SceneModel`: an element handle names one node
// (or one application), attribute reads present the node as the desktop would,
// and every read or operation first applies the delayed effects already due.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "color_helper/accessibility/accessibility.h"
#include "scene_engine/scene_model.h"

namespace trovemark::scene {

class Scene : public ax::Accessibility {
 public:
  // How the port walks a window. As asked: as far and as much as the reader
  // needs, which is how the helper reads. Everything: every attribute of
  // every node up to the limit, before the first node is handed out, which
  // is what the helper's answers must never differ from. A new scene walks
  // as asked, or everything when TROVEMARK_SCENE_WALK=everything, so that a
  // whole test suite can run both ways.
  enum class WalkMode { kAsAsked, kReadEverything };

  // Process id of application i is kFirstProcessId + i.
  static constexpr ax::ProcessId kFirstProcessId = 24601;

  static std::unique_ptr<Scene> parse(std::string_view json, ax::Clock& clock);
  static std::unique_ptr<Scene> load(const std::filesystem::path& file, ax::Clock& clock);
  explicit Scene(std::unique_ptr<SceneModel> model);

  const std::vector<Operation>& operations() const;
  // The current value of the node with that id (due effects applied first);
  // missing when there is no such node.
  Value valueOf(const std::string& id);
  // False while the node or an ancestor is hidden, and for an unknown id.
  bool isShown(const std::string& id);
  // Port calls answered so far.
  std::size_t calls() const;
  void setWalkMode(WalkMode mode) { walkMode_ = mode; }

  SceneModel& model() { return *model_; }
  // The handle of a node, as reads of "AXChildren" hand it out.
  ax::ElementRef elementFor(NodeId node) const;
  // The node a handle names; nullopt for an application or foreign handle.
  std::optional<NodeId> nodeOf(const ax::ElementRef& element) const;

  // ax::Accessibility
  // Its applications run as Resolve does (color_helper/resolve.h): they are
  // the running instances of Resolve's identity on either platform.
  bool isProcessTrusted() override;
  std::vector<ax::ProcessId> runningApplications(const ax::Application& application) override;
  // The first of Resolve's names on either platform that the listing asked for.
  std::string registeredName(ax::ProcessId pid) override;
  ax::ElementRef applicationElement(ax::ProcessId pid) override;
  ax::Reading read(const ax::ElementRef& element, ax::Attributes attributes) override;
  bool setValue(const ax::ElementRef& element, double value) override;
  bool press(const ax::ElementRef& element) override;
  bool sameElement(const ax::ElementRef& a, const ax::ElementRef& b) override;
  std::unique_ptr<ax::WalkSource> walk(const ax::ElementRef& root, std::size_t limit,
                                       const ax::ReadingPlan& plan) override;

 private:
  void readNode(NodeId node, ax::Attributes attributes, ax::Reading& reading);
  void readApplication(ax::ProcessId pid, ax::Attributes attributes, ax::Reading& reading);
  std::vector<ax::ElementRef> elementsFor(const std::vector<NodeId>& nodes) const;

  std::unique_ptr<SceneModel> model_;
  // One handle per node, made on first use, so that repeated walks share them.
  mutable std::vector<ax::ElementRef> handles_;
  std::size_t calls_ = 0;
  std::string listedAs_;
  WalkMode walkMode_;
};

}  // namespace trovemark::scene
