#pragma once

// The element layer: what the Color logic uses to read Resolve's window and to
// operate its controls. Everything goes through the port passed in, so the
// logic runs unchanged against the desktop and against a substitute tree.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::ax {

// Every walk of a window stops after this many snapshots.
inline constexpr std::size_t kDefaultWalkLimit = 1800;

// One attribute of `ref`; absent on any platform error or when nothing came back.
std::optional<AttributeValue> attribute(Accessibility& ax, const ElementRef& ref,
                                        const std::string& name);

// A snapshot of `ref`: its role, description and value, read once in that
// order. Never fails.
Element element(Accessibility& ax, const ElementRef& ref);

// The first `limit` snapshots of the pre-order walk from `root`, root first.
// An unreadable subtree contributes nothing below its unreadable node.
std::vector<Element> flatten(Accessibility& ax, const ElementRef& root,
                             std::size_t limit = kDefaultWalkLimit);

// Performs "AXPress" on the live control. Throws ColorError when Resolve
// refuses.
void press(Accessibility& ax, const Element& element);

// Sets the live control's "AXValue" to `value`, unchanged. Throws ColorError
// when Resolve refuses.
void set(Accessibility& ax, const Element& element, double value);

}  // namespace trovemark::ax
