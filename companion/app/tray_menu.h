#pragma once

// Turns the menu model into Qt widgets: the tray item's drop-down menu, and
// the window that holds the same lines where no tray can show the item.
//
// Text lines become disabled widget actions so that a click on them neither
// runs anything nor closes the menu, while their label keeps its own color:
// plain, dimmed for the status line, red for the error line. A desktop that
// draws the menu itself (a status-notifier host) sees only each action's text,
// escaped so that it shows every title as it is.

#include <QDialog>
#include <QMenu>
#include <QVBoxLayout>
#include <functional>
#include <vector>

#include "companion/menu.h"

namespace trovemark::companion::app {

// Replaces everything `menu` holds with one action per entry. A click on a
// button calls `onAction` with that button's action, on the UI thread.
void fillMenu(QMenu& menu, const std::vector<MenuEntry>& entries,
              const std::function<void(MenuAction)>& onAction);

// Name given to the label widget of every text line, so that it can be told
// apart from other widgets inside the menu.
inline constexpr const char* kTextLineObjectName = "trovemarkTextLine";

// The menu as a small window titled as the tray item is: its text lines as
// labels, its dividers as lines, its buttons as push buttons, all enabled.
// Standard widgets, so the keyboard (Tab, Space, Enter, Escape to close) and
// screen readers work as in any dialog. Closing it only hides it.
class MenuWindow : public QDialog {
 public:
  MenuWindow();
  // Shows `entries`; a click on a button calls `onAction` with its action.
  // While the lines keep their kinds, only their texts change, so focus and
  // a screen reader's place stay where they were.
  void fill(const std::vector<MenuEntry>& entries, const std::function<void(MenuAction)>& onAction);

 private:
  void rebuild(const std::vector<MenuEntry>& entries);

  QVBoxLayout layout_;
  std::vector<MenuEntry> shown_;
  std::vector<QWidget*> lines_;  // one per entry, owned by the window
  std::function<void(MenuAction)> onAction_;
};

}  // namespace trovemark::companion::app
