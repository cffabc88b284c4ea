#include "bench/walk_bench.h"

int main(int argc, char** argv) { return trovemark::bench::walkBenchMain(argc, argv); }
