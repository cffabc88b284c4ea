#include "companion/app/qt_main_thread.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMetaObject>

namespace trovemark::companion::app {

QtMainThreadExecutor::QtMainThreadExecutor() : context_(std::make_unique<QObject>()) {}

QtMainThreadExecutor::~QtMainThreadExecutor() = default;

void QtMainThreadExecutor::post(Task task) {
  QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

void QtClipboard::clearContents() { QGuiApplication::clipboard()->clear(QClipboard::Clipboard); }

void QtClipboard::writeText(const std::string& text) {
  QGuiApplication::clipboard()->setText(QString::fromStdString(text), QClipboard::Clipboard);
}

}  // namespace trovemark::companion::app
