// A sweep on several threads. Rows are handed out one at a time in case
// order; a thread makes its row into the window slot of the row's ordinal
// (ordinal modulo the window), and the calling thread writes the slots in
// order, making rows itself while the next one to write is not ready. A row
// is handed out only while it lies within the window of the next row to
// write, so that no slot is overwritten before it is written. The slot's
// text is written without the lock by the one thread that took the row, and
// read without it by the writer once the slot is marked ready under it.
#include "sweep_parallel.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "case_solver.h"
#include "engine_modules.h"

namespace {

// Slots of the reorder window per thread: enough that a thread on a long row
// (a search of 40 solves) seldom holds up the others.
const long long window_rows_per_job = 16;

struct row_slot {
    int ready; // made and not yet written
    int failed;
    int length;
    char text[sweep_row_max_size];
};

struct shared_run {
    const sweep_plan *plan;
    pthread_mutex_t lock;
    pthread_cond_t space;     // a helper waits here for room in the window
    pthread_cond_t row_ready; // the writer waits here for the next row to write
    row_slot *slots;
    long long window; // slots
    long long total;  // rows of the shard
    long long next;   // ordinal of the next row to hand out
    long long written;
    int stop;
    int writer_waiting;
    int helpers_waiting;
};

struct helper {
    shared_run *run;
    pthread_t thread;
    int started;
};

// Takes the next row when there is one and it lies within the window; the
// lock is held.
int take_row(shared_run *run, long long *ordinal)
{
    if (run->stop || run->next >= run->total || run->next >= run->written + run->window) {
        return 0;
    }
    *ordinal = run->next++;
    return 1;
}

// Makes the row of ordinal into its slot, without the lock, then marks it
// ready under the lock (which is held on return).
void make_row(shared_run *run, cea_chamber *chamber, sweep_cursor *cursor, long long ordinal)
{
    pthread_mutex_unlock(&run->lock);
    const sweep_plan *plan = run->plan;
    row_slot *slot = &run->slots[ordinal % run->window];
    slot->length = sweep_format_case(plan, chamber, cursor, plan->shard_index + ordinal * plan->shard_count, slot->text,
                                     sweep_row_max_size, &slot->failed);
    pthread_mutex_lock(&run->lock);
    slot->ready = 1;
}

void *run_helper(void *argument)
{
    shared_run *run = static_cast<helper *>(argument)->run;
    cea_chamber chamber = {};
    char error[error_buffer_size] = {0};
    if (!cea_chamber_create(&chamber, engine_fuel_rp1(run->plan->module), error, error_buffer_size)) {
        return nullptr;
    }
    sweep_cursor cursor;
    sweep_cursor_start(&cursor);
    pthread_mutex_lock(&run->lock);
    while (!run->stop && run->next < run->total) {
        long long ordinal = 0;
        if (!take_row(run, &ordinal)) {
            ++run->helpers_waiting;
            pthread_cond_wait(&run->space, &run->lock);
            --run->helpers_waiting;
            continue;
        }
        make_row(run, &chamber, &cursor, ordinal);
        if (ordinal == run->written && run->writer_waiting) {
            pthread_cond_signal(&run->row_ready);
        }
    }
    pthread_mutex_unlock(&run->lock);
    cea_chamber_close(&chamber);
    return nullptr;
}

// The calling thread's part: writes every row in order, and makes the next
// free row itself while the one to write is not ready. Returns 0 when the
// sink failed.
int write_rows(shared_run *run, cea_chamber *chamber, const sweep_callbacks *callbacks, sweep_outcome *outcome)
{
    sweep_cursor cursor;
    sweep_cursor_start(&cursor);
    int ok = 1;
    pthread_mutex_lock(&run->lock);
    while (run->written < run->total) {
        if (callbacks->cancel != nullptr && *callbacks->cancel != 0) {
            outcome->cancelled = 1;
            break;
        }
        row_slot *slot = &run->slots[run->written % run->window];
        long long ordinal = 0;
        if (slot->ready) {
            pthread_mutex_unlock(&run->lock);
            ok = slot->length < sweep_row_max_size &&
                 callbacks->write_row(callbacks->row_user, slot->text, static_cast<std::size_t>(slot->length));
            if (ok) {
                outcome->rows_written += 1;
                outcome->rows_failed += slot->failed;
                if (callbacks->progress != nullptr) {
                    callbacks->progress(callbacks->progress_user, outcome->rows_written, run->total,
                                        outcome->rows_failed);
                }
            }
            pthread_mutex_lock(&run->lock);
            if (!ok) {
                outcome->write_failed = 1;
                break;
            }
            slot->ready = 0;
            ++run->written;
            if (run->helpers_waiting > 0) {
                pthread_cond_signal(&run->space);
            }
        } else if (take_row(run, &ordinal)) {
            make_row(run, chamber, &cursor, ordinal);
        } else {
            run->writer_waiting = 1;
            pthread_cond_wait(&run->row_ready, &run->lock);
            run->writer_waiting = 0;
        }
    }
    run->stop = 1;
    pthread_cond_broadcast(&run->space);
    pthread_mutex_unlock(&run->lock);
    return ok;
}

} // namespace

int sweep_default_jobs()
{
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    if (online < 1) {
        return 1;
    }
    return online < sweep_max_jobs ? static_cast<int>(online) : static_cast<int>(sweep_max_jobs);
}

int sweep_run_parallel(const sweep_plan *plan, cea_chamber *chamber, int jobs, const sweep_callbacks *callbacks,
                       sweep_outcome *outcome)
{
    if (jobs > sweep_max_jobs) {
        jobs = sweep_max_jobs;
    }
    if (jobs > plan->shard_rows) {
        jobs = static_cast<int>(plan->shard_rows);
    }
    if (jobs <= 1) {
        return sweep_run(plan, chamber, callbacks, outcome);
    }
    const long long window =
        window_rows_per_job * jobs < plan->shard_rows ? window_rows_per_job * jobs : plan->shard_rows;
    row_slot *slots = static_cast<row_slot *>(std::calloc(static_cast<std::size_t>(window), sizeof(row_slot)));
    helper *helpers = static_cast<helper *>(std::calloc(static_cast<std::size_t>(jobs - 1), sizeof(helper)));
    if (slots == nullptr || helpers == nullptr) {
        std::free(slots);
        std::free(helpers);
        return sweep_run(plan, chamber, callbacks, outcome);
    }
    *outcome = sweep_outcome{0, 0, 0, 0};
    const int header = sweep_format_header(plan, slots[0].text, sweep_row_max_size);
    if (header >= sweep_row_max_size ||
        (header > 0 && !callbacks->write_row(callbacks->row_user, slots[0].text, static_cast<std::size_t>(header)))) {
        outcome->write_failed = 1;
        std::free(slots);
        std::free(helpers);
        return 0;
    }

    shared_run run = {};
    run.plan = plan;
    pthread_mutex_init(&run.lock, nullptr);
    pthread_cond_init(&run.space, nullptr);
    pthread_cond_init(&run.row_ready, nullptr);
    run.slots = slots;
    run.window = window;
    run.total = plan->shard_rows;

    // The helpers start with every signal blocked, so that SIGINT and
    // SIGTERM reach the calling thread, which reads the cancel flag.
    sigset_t all_signals;
    sigset_t previous;
    sigfillset(&all_signals);
    pthread_sigmask(SIG_BLOCK, &all_signals, &previous);
    for (int i = 0; i < jobs - 1; ++i) {
        helpers[i].run = &run;
        helpers[i].started = pthread_create(&helpers[i].thread, nullptr, run_helper, &helpers[i]) == 0;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);

    const int ok = write_rows(&run, chamber, callbacks, outcome);
    for (int i = 0; i < jobs - 1; ++i) {
        if (helpers[i].started) {
            pthread_join(helpers[i].thread, nullptr);
        }
    }
    pthread_cond_destroy(&run.row_ready);
    pthread_cond_destroy(&run.space);
    pthread_mutex_destroy(&run.lock);
    std::free(slots);
    std::free(helpers);
    return ok;
}
