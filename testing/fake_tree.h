#pragma once

// A hand-built accessibility tree for tests that need no scene: each node is
// a bag of attributes, and every read, press and set is recorded.

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::testing {

class FakeTree final : public ax::Accessibility {
 public:
  using Attributes = std::map<std::string, ax::AttributeValue>;

  ax::ElementRef add(Attributes attributes, bool refuse = false) {
    auto handle = std::make_shared<const ax::ElementHandle>();
    nodes_[handle.get()] = Node{std::move(attributes), refuse};
    return handle;
  }
  void setChildren(const ax::ElementRef& parent, std::vector<ax::ElementRef> children) {
    nodes_.at(parent.get()).attributes[ax::kChildren] = std::move(children);
  }

  std::vector<std::string> reads;  // attribute names, in the order asked
  std::vector<std::pair<ax::ElementRef, double>> sets;

  bool isProcessTrusted() override { return true; }
  std::vector<ax::ProcessId> runningApplications(const std::string&) override { return {}; }
  ax::ElementRef applicationElement(ax::ProcessId) override { return add({}); }
  std::optional<ax::AttributeValue> attribute(const ax::ElementRef& element,
                                              const std::string& name) override {
    reads.push_back(name);
    const auto& attributes = nodes_.at(element.get()).attributes;
    auto it = attributes.find(name);
    if (it == attributes.end()) return std::nullopt;
    return it->second;
  }
  bool setValue(const ax::ElementRef& element, double value) override {
    sets.emplace_back(element, value);
    return !nodes_.at(element.get()).refuse;
  }
  bool press(const ax::ElementRef& element) override { return !nodes_.at(element.get()).refuse; }
  bool sameElement(const ax::ElementRef& a, const ax::ElementRef& b) override { return a == b; }

 private:
  struct Node {
    Attributes attributes;
    bool refuse = false;
  };
  std::map<const ax::ElementHandle*, Node> nodes_;
};

}  // namespace trovemark::testing
