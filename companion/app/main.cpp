#include "companion/app/zelvan_mac_app.h"
#include "companion/system_bridge.h"

int main(int argc, char** argv) {
  const int status = trovemark::companion::app::ZelvanMacApp::main(argc, argv);
  trovemark::companion::releaseSystemDesktop();
  return status;
}
