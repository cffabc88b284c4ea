#pragma once

// Turns the menu model into a Qt drop-down menu.
//
// Text lines become disabled widget actions so that a click on them neither
// runs anything nor closes the menu, while their label keeps its own color:
// plain, dimmed for the status line, red for the error line. A desktop that
// draws the menu itself (a status-notifier host) sees only each action's text,
// escaped so that it shows every title as it is.

#include <QMenu>
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

}  // namespace trovemark::companion::app
