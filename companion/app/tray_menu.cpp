#include "companion/app/tray_menu.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QWidgetAction>
#include <algorithm>

namespace trovemark::companion::app {

namespace {

QColor colorFor(MenuEntry::Style style, const QPalette& palette) {
  switch (style) {
    case MenuEntry::Style::secondary: {
      // Halfway between text and background: dimmed on light and dark themes.
      const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
      const QColor back = palette.color(QPalette::Active, QPalette::Window);
      return QColor((text.red() + back.red()) / 2, (text.green() + back.green()) / 2,
                    (text.blue() + back.blue()) / 2);
    }
    case MenuEntry::Style::red:
      return QColor(Qt::red);
    case MenuEntry::Style::plain:
      break;
  }
  return palette.color(QPalette::Active, QPalette::WindowText);
}

// Action texts treat "&" as a mnemonic marker; titles are shown as they are.
QString escapeMnemonic(QString title) {
  title.replace(QLatin1Char('&'), QLatin1String("&&"));
  return title;
}

// A panel that draws the menu from its D-Bus export reads the text lines'
// action texts, and there a single "_" marks an access key and is hidden;
// Qt turns "&" into that mark but passes "_" through, so it is doubled here.
// Qt's own drop-down shows the label widget instead, which keeps the title.
QString escapeForExport(const QString& title) {
  return escapeMnemonic(title).replace(QLatin1Char('_'), QLatin1String("__"));
}

constexpr const char* kDividerObjectName = "trovemarkDivider";

// Screen readers meet a plain frame as a border; the window's dividers are
// separators, as the menu's are.
QAccessibleInterface* dividerAccessible(const QString&, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (!widget || widget->objectName() != QLatin1String(kDividerObjectName)) return nullptr;
  return new QAccessibleWidget(widget, QAccessible::Separator);
}

// A text line's label, in the color of its style.
QLabel* textLine(const QString& title, MenuEntry::Style style, QWidget* parent) {
  auto* label = new QLabel(title, parent);
  label->setObjectName(kTextLineObjectName);
  label->setTextFormat(Qt::PlainText);
  label->setContentsMargins(12, 4, 12, 4);
  // A style sheet color holds in the disabled state too, unlike the palette.
  label->setStyleSheet(
      QStringLiteral("QLabel { color: %1; }").arg(colorFor(style, label->palette()).name()));
  return label;
}

// Widget actions own the label they hand out, one per menu that shows them.
class TextLineAction : public QWidgetAction {
 public:
  TextLineAction(const QString& title, MenuEntry::Style style, QObject* parent)
      : QWidgetAction(parent), title_(title), style_(style) {
    setText(escapeForExport(title));
    // Disabled so a click neither does anything nor closes the menu.
    setEnabled(false);
  }

 protected:
  QWidget* createWidget(QWidget* parent) override { return textLine(title_, style_, parent); }

 private:
  QString title_;
  MenuEntry::Style style_;
};

}  // namespace

void fillMenu(QMenu& menu, const std::vector<MenuEntry>& entries,
              const std::function<void(MenuAction)>& onAction) {
  // Actions belong to the menu, so clear() deletes the old ones.
  menu.clear();
  for (const MenuEntry& entry : entries) {
    const QString title = QString::fromStdString(entry.title);
    switch (entry.kind) {
      case MenuEntry::Kind::divider:
        menu.addSeparator();
        break;
      case MenuEntry::Kind::text:
        menu.addAction(new TextLineAction(title, entry.style, &menu));
        break;
      case MenuEntry::Kind::button: {
        QAction* action = menu.addAction(escapeMnemonic(title));
        const MenuAction what = entry.action;
        QObject::connect(action, &QAction::triggered, &menu, [onAction, what] { onAction(what); });
        break;
      }
    }
  }
}

MenuWindow::MenuWindow() : layout_(this) {
  static const bool dividersReadable = (QAccessible::installFactory(dividerAccessible), true);
  (void)dividersReadable;
  setWindowTitle(QString::fromUtf8(kTrayTitle));
  setAccessibleName(QString::fromUtf8(kTrayTitle));
  // The window fits its lines, and follows them as the error line comes and goes.
  layout_.setSizeConstraint(QLayout::SetFixedSize);
}

void MenuWindow::fill(const std::vector<MenuEntry>& entries,
                      const std::function<void(MenuAction)>& onAction) {
  onAction_ = onAction;
  const bool sameShape =
      std::equal(entries.begin(), entries.end(), shown_.begin(), shown_.end(),
                 [](const MenuEntry& a, const MenuEntry& b) {
                   return a.kind == b.kind && a.style == b.style && a.action == b.action;
                 });
  if (!sameShape) {
    rebuild(entries);
    return;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].title == shown_[i].title) continue;
    const QString title = QString::fromStdString(entries[i].title);
    if (auto* label = qobject_cast<QLabel*>(lines_[i])) label->setText(title);
    if (auto* button = qobject_cast<QPushButton*>(lines_[i])) {
      button->setText(escapeMnemonic(title));
    }
  }
  shown_ = entries;
}

void MenuWindow::rebuild(const std::vector<MenuEntry>& entries) {
  // Keyboard focus stays on the button that does the same, where it still is.
  MenuAction focused = MenuAction::none;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i]->hasFocus()) focused = shown_[i].action;
  }
  for (QWidget* line : lines_) delete line;
  lines_.clear();
  for (const MenuEntry& entry : entries) {
    const QString title = QString::fromStdString(entry.title);
    QWidget* line = nullptr;
    switch (entry.kind) {
      case MenuEntry::Kind::divider: {
        auto* rule = new QFrame(this);
        rule->setObjectName(kDividerObjectName);
        rule->setFrameShape(QFrame::HLine);
        rule->setFrameShadow(QFrame::Sunken);
        line = rule;
        break;
      }
      case MenuEntry::Kind::text: {
        QLabel* label = textLine(title, entry.style, this);
        // A long error line wraps rather than stretching the window across
        // the screen, at about the width of a menu.
        label->setWordWrap(true);
        label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 44);
        line = label;
        break;
      }
      case MenuEntry::Kind::button: {
        auto* button = new QPushButton(escapeMnemonic(title), this);
        const MenuAction what = entry.action;
        QObject::connect(button, &QPushButton::clicked, this, [this, what] {
          // A copy: the action may refill the window, and with it this function.
          const auto onAction = onAction_;
          onAction(what);
        });
        if (what == focused) button->setFocus();
        line = button;
        break;
      }
    }
    layout_.addWidget(line);
    lines_.push_back(line);
  }
  shown_ = entries;
}

}  // namespace trovemark::companion::app
