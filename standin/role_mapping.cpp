#include "standin/role_mapping.h"

#include <string_view>
#include <utility>

namespace trovemark::standin {

namespace {

// Roles with their own AT-SPI counterpart. Table, row, cell and list or tree
// items are left out on purpose: Qt's bridge treats those as transient and
// expects table interfaces that a scene cannot give.
constexpr std::pair<std::string_view, QAccessible::Role> kRoles[] = {
    {"AXStaticText", QAccessible::StaticText},          // label
    {"AXSlider", QAccessible::Slider},                  // slider
    {"AXCheckBox", QAccessible::CheckBox},              // check box
    {"AXButton", QAccessible::PushButton},              // push button
    {"AXGroup", QAccessible::Grouping},                 // panel
    {"AXWindow", QAccessible::Window},                  // frame
    {"AXRadioButton", QAccessible::RadioButton},        // radio button
    {"AXTextField", QAccessible::EditableText},         // text
    {"AXPopUpButton", QAccessible::ComboBox},           // combo box
    {"AXMenuButton", QAccessible::ButtonMenu},          // push button menu
    {"AXImage", QAccessible::Graphic},                  // image
    {"AXToolbar", QAccessible::ToolBar},                // tool bar
    {"AXTabGroup", QAccessible::PageTabList},           // page tab list
    {"AXProgressIndicator", QAccessible::ProgressBar},  // progress bar
    {"AXSplitter", QAccessible::Splitter},              // split pane
    {"AXMenuBar", QAccessible::MenuBar},                // menu bar
    {"AXMenuItem", QAccessible::MenuItem},              // menu item
    {"AXLink", QAccessible::Link},                      // link
    {"AXHeading", QAccessible::Heading},                // heading
};

}  // namespace

QAccessible::Role qtRole(const std::optional<std::string>& sceneRole) {
  if (!sceneRole) return QAccessible::UserRole;
  for (const auto& [name, role] : kRoles) {
    if (name == *sceneRole) return role;
  }
  return QAccessible::UserRole;
}

}  // namespace trovemark::standin
