// Runs a sweep plan on several threads, each solving on a chamber of its
// own, with the rows written as sweep_run writes them: the same bytes, in
// case order, each whole.
#ifndef LRE_SWEEP_PARALLEL_H
#define LRE_SWEEP_PARALLEL_H

#include "sweep_run.h"

// The threads of a run when none are asked for: the online processors, at
// most sweep_max_jobs.
int sweep_default_jobs();

// As sweep_run, on up to jobs threads: the calling thread on the given open
// chamber, and jobs - 1 more, each on a chamber it makes on the database
// loaded already. Rows are handed out in case order; each is made into a
// slot of a reorder window (a fixed number of rows a thread, allocated once
// before the first case) and written from there by the calling thread, which
// alone calls the sink and the progress callback and reads the cancel flag
// (the other threads block every signal). jobs <= 1, a shard of one row, or
// a window that cannot be allocated runs sweep_run itself; a thread or a
// chamber that cannot be made leaves its share of the rows to the others.
int sweep_run_parallel(const sweep_plan *plan, cea_chamber *chamber, int jobs, const sweep_callbacks *callbacks,
                       sweep_outcome *outcome);

#endif
