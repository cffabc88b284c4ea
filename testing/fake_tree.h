#pragma once

// A hand-built accessibility tree for tests that need no scene: each node is
// a bag of attributes, and every read is recorded. Operating is the scene's
// to test: here every press and set is accepted.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::testing {

class FakeTree final : public ax::Accessibility {
 public:
  using Attributes = std::map<std::string, ax::AttributeValue>;

  ax::ElementRef add(Attributes attributes) {
    auto handle = std::make_shared<const ax::ElementHandle>();
    nodes_[handle.get()] = std::move(attributes);
    return handle;
  }
  void setChildren(const ax::ElementRef& parent, std::vector<ax::ElementRef> children) {
    nodes_.at(parent.get())[ax::kChildren] = std::move(children);
  }

  std::vector<std::string> reads;  // attribute names, in the order asked

  bool isProcessTrusted() override { return true; }
  std::vector<ax::ProcessId> runningApplications(const std::string&) override { return {}; }
  ax::ElementRef applicationElement(ax::ProcessId) override { return add({}); }
  std::optional<ax::AttributeValue> attribute(const ax::ElementRef& element,
                                              const std::string& name) override {
    reads.push_back(name);
    const auto& attributes = nodes_.at(element.get());
    auto it = attributes.find(name);
    if (it == attributes.end()) return std::nullopt;
    return it->second;
  }
  bool setValue(const ax::ElementRef&, double) override { return true; }
  bool press(const ax::ElementRef&) override { return true; }
  bool sameElement(const ax::ElementRef& a, const ax::ElementRef& b) override { return a == b; }

 private:
  std::map<const ax::ElementHandle*, Attributes> nodes_;
};

}  // namespace trovemark::testing
