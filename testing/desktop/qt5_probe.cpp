// A small Qt 5 Widgets program, as Resolve is one, registering on the
// accessibility bus (when it joins) as "trovemark-qt5-probe". Prints "ready"
// once its window is shown. Built with g++ and pkg-config apart from the
// project's Qt 6 targets: by testing/CMakeLists.txt for the tests, by
// scripts/measure-qt-accessibility for the measurement.

#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication::setApplicationName("trovemark-qt5-probe");
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("trovemark-qt5-probe");
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(new QLabel("Qt " QT_VERSION_STR " probe"));
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setRange(0, 100);
  layout->addWidget(slider);
  window.show();
  QTimer::singleShot(0, [] {
    std::puts("ready");
    std::fflush(stdout);
  });
  return app.exec();
}
