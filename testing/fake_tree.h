#pragma once

// A hand-built accessibility tree for tests that need no scene: each node is
// a reading of its attributes, and every read is recorded. Operating is the
// scene's to test: here every press and set is accepted.

#include <map>
#include <memory>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::testing {

class FakeTree final : public ax::Accessibility {
 public:
  // A node answering `reading` (its children set apart, with setChildren).
  ax::ElementRef add(ax::Reading reading) {
    auto handle = std::make_shared<const ax::ElementHandle>();
    nodes_[handle.get()] = std::move(reading);
    return handle;
  }
  void setChildren(const ax::ElementRef& parent, std::vector<ax::ElementRef> children) {
    nodes_.at(parent.get()).children = std::move(children);
  }

  // One entry per read: the attributes it asked for.
  std::vector<ax::Attributes> reads;
  // How many reads asked for `attribute`.
  std::size_t readsOf(ax::Attribute attribute) const {
    std::size_t n = 0;
    for (const auto& read : reads) n += read.has(attribute) ? 1 : 0;
    return n;
  }

  bool isProcessTrusted() override { return true; }
  std::vector<ax::ProcessId> runningApplications(const ax::Application&) override { return {}; }
  std::string registeredName(ax::ProcessId) override { return {}; }
  ax::ElementRef applicationElement(ax::ProcessId) override { return add({}); }
  ax::Reading read(const ax::ElementRef& element, ax::Attributes attributes) override {
    reads.push_back(attributes);
    const ax::Reading& node = nodes_.at(element.get());
    ax::Reading answer;
    answer.covered = attributes;
    if (attributes.has(ax::Attribute::kRole)) answer.role = node.role;
    if (attributes.has(ax::Attribute::kDescription)) answer.description = node.description;
    if (attributes.has(ax::Attribute::kValue)) answer.value = node.value;
    if (attributes.has(ax::Attribute::kChildren)) answer.children = node.children;
    return answer;
  }
  bool setValue(const ax::ElementRef&, double) override { return true; }
  bool press(const ax::ElementRef&) override { return true; }
  bool sameElement(const ax::ElementRef& a, const ax::ElementRef& b) override { return a == b; }

 private:
  std::map<const ax::ElementHandle*, ax::Reading> nodes_;
};

}  // namespace trovemark::testing
