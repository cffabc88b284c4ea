#include "companion/app/zelvan_mac_app.h"

int main(int argc, char** argv) {
  return trovemark::companion::app::ZelvanMacApp::main(argc, argv);
}
