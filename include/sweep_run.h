// Runs a sweep plan on one open chamber into rows (CSV or JSONL) handed to
// the caller's sink one whole row at a time; each row equals, digit for
// digit, what lre-perf --json prints for the same case, and a failed case's
// message is the line lre-perf would write to standard error. A case is the
// base case, then its case line's words, then the axis values (and the
// searched value of --maximize), applied in that order. A case allocates
// nothing; a run needs about 20 kB of stack. Runs on distinct chambers may go
// on in different threads at once (the equilibrium library keeps its error
// text per thread); sweep_parallel.h runs one plan on several threads.
#ifndef LRE_SWEEP_RUN_H
#define LRE_SWEEP_RUN_H

#include <csignal>
#include <cstddef>

#include "cea_chamber.h"
#include "sweep_plan.h"

// The largest row written, header included.
enum { sweep_row_max_size = 16384 };

// Receives one whole row (header included) with its newline; returns 1, or
// 0 to stop the sweep (a failed write).
typedef int (*sweep_row_sink)(void *user, const char *row, std::size_t length);
// Told of progress after each row; done and total count this shard's rows.
typedef void (*sweep_progress_sink)(void *user, long long done, long long total, long long failed);

struct sweep_callbacks {
    sweep_row_sink write_row;
    void *row_user;
    sweep_progress_sink progress; // may be nullptr
    void *progress_user;
    const volatile std::sig_atomic_t *cancel; // nonzero stops after the current row; may be nullptr
};

struct sweep_outcome {
    long long rows_written; // header not counted
    long long rows_failed;
    int cancelled;    // stopped by the cancel flag
    int write_failed; // stopped by the sink
};

// Opens the chamber for the plan's module on its database. Returns 1, or 0
// with "CEA initialization: ..." in message.
int sweep_open_chamber(const sweep_plan *plan, cea_chamber *chamber, char *message, int message_size);

// Writes the header (CSV only) and the shard's rows in case order. Returns 1
// when the sweep ran to its end or was cancelled, 0 when the sink failed.
int sweep_run(const sweep_plan *plan, cea_chamber *chamber, const sweep_callbacks *callbacks, sweep_outcome *outcome);

// The pieces of a run, for a runner that shares the rows among threads.
// Where a runner stands in the case text: a cursor is given its rows in
// increasing case order, so that it walks the text forwards once.
struct sweep_cursor {
    const char *line;
    std::size_t line_length;
    std::size_t position;
    long long line_index; // -1 before the first line
};
void sweep_cursor_start(sweep_cursor *cursor);

// Writes the header row into buffer[0..size) (CSV; a format without one
// writes nothing). Returns its length: size or more when it does not fit.
int sweep_format_header(const sweep_plan *plan, char *buffer, int size);

// Builds row index of the plan (a case, or the best case of a search),
// solves it on the chamber and writes its row into buffer[0..size). Returns
// the row's length (size or more: it does not fit), *failed 1 for a failed
// case. Nothing outside the chamber, the cursor and the buffer is written.
int sweep_format_case(const sweep_plan *plan, cea_chamber *chamber, sweep_cursor *cursor, long long index, char *buffer,
                      int size, int *failed);

#endif
