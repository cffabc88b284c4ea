#include "companion/app/tray_menu.h"

#include <QAction>
#include <QLabel>
#include <QPalette>
#include <QWidgetAction>

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
  QWidget* createWidget(QWidget* parent) override {
    auto* label = new QLabel(title_, parent);
    label->setObjectName(kTextLineObjectName);
    label->setTextFormat(Qt::PlainText);
    label->setContentsMargins(12, 4, 12, 4);
    // A style sheet color holds in the disabled state too, unlike the palette.
    label->setStyleSheet(
        QStringLiteral("QLabel { color: %1; }").arg(colorFor(style_, label->palette()).name()));
    return label;
  }

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

}  // namespace trovemark::companion::app
