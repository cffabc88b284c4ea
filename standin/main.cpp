#include "standin/standin_main.h"

int main(int argc, char** argv) { return trovemark::standin::runStandin(argc, argv); }
