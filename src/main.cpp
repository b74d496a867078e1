// lre-perf: steady-state performance of a liquid rocket engine, one case per
// run (see lre_perf_run.h).
#include <cstdio>

#include "lre_perf_run.h"

int main(int argc, char **argv) { return lre_perf_run(argc, argv, stdout, stderr); }
