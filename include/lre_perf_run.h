// One whole run of lre-perf: the command line, the run sequence and the
// report, as the program's main calls it. Reports go to out, messages to err.
#ifndef LRE_LRE_PERF_RUN_H
#define LRE_LRE_PERF_RUN_H

#include <cstdio>

// Returns the exit status (0 or 1).
int lre_perf_run(int argc, char **argv, std::FILE *out, std::FILE *err);

#endif
