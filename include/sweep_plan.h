// A sweep: a base case from lre-perf's options, up to three varied options
// forming a full grid (the last one fastest), optional case lines crossed
// with the grid, an optional maximisation, a shard of the cases, and the row
// format. Parsed from the words of a command line (lre-sweep's, or the
// user interface's request) into a plan that owns no memory: it points into
// the words and the case text, which must outlive it. A plan is about 25 kB
// (its list axes): a thread with a small stack keeps it static or on the heap.
#ifndef LRE_SWEEP_PLAN_H
#define LRE_SWEEP_PLAN_H

#include <cstddef>

#include "engine_records.h"

enum {
    sweep_max_axes = 3,
    sweep_max_list_values = 1024, // values of one "--vary NAME=V1,V2,..."
    sweep_message_size = 512,
    sweep_max_jobs = 64, // --jobs: threads of one run, each with its own chamber
};

enum sweep_format { SWEEP_CSV = 0, SWEEP_JSONL = 1 };

struct sweep_axis {
    int option;  // index in the case option table (engine_modules.h)
    int is_list; // 1: values[], 0: from, step, count
    double from; // a range: from + i * step for i < count, ending on to when it lies on a step
    double to;
    double step;
    long long count;
    double values[sweep_max_list_values];
};

struct sweep_plan {
    const char *thermo_lib;
    int module;
    engine_case base; // presets with the base options; ranges checked per case
    int axis_count;
    sweep_axis axes[sweep_max_axes];
    // Case lines (from --cases), or nullptr: each non-empty line that does
    // not start with '#' is one case's option words.
    const char *cases_path; // as given ("-" for standard input); the front end reads it
    const char *cases_text;
    std::size_t cases_length;
    long long case_line_count;
    // --maximize MEMBER --over NAME=LO:HI
    int maximize; // 1 when asked
    int over_given;
    const char *member; // "calculated.I_s_v_mps"
    int member_index;   // position in json_module_members' list
    int over_option;    // index in the case option table
    double over_low;
    double over_high;
    int format;              // sweep_format
    const char *output_path; // --output, or nullptr for standard output
    int progress;            // --progress given
    int jobs;                // --jobs N (1 to sweep_max_jobs), or 0 when not given
    long long shard_index;   // K - 1 of --shard K/N (0 of 1 without)
    long long shard_count;
    long long grid_rows;  // combinations of the axes
    long long row_count;  // rows of the whole sweep (grid rows times case lines), before sharding
    long long shard_rows; // rows this shard writes
};

// Parses words[0..count) (lre-sweep's arguments after the program name: the
// database path first). Returns 1 with *plan filled (cases_text still to be
// given by sweep_plan_set_cases when cases_path is set), 0 with one message.
int sweep_plan_parse(sweep_plan *plan, int count, const char *const *words, char *message, int message_size);

// Gives the plan its case text (the bytes of the --cases file) and counts
// its lines. Returns 1, or 0 with a message (a case text with no case).
int sweep_plan_set_cases(sweep_plan *plan, const char *text, std::size_t length, char *message, int message_size);

// Refuses a plan whose shard has more than max_rows rows. Returns 1 or 0
// with a message that names the limit.
int sweep_plan_check_limit(const sweep_plan *plan, long long max_rows, char *message, int message_size);

// The value of an axis at index (0 <= index < axis->count).
double sweep_axis_value(const sweep_axis *axis, long long index);

// The next case line of text at or after *position (which it advances):
// non-empty, and not starting with '#' after blanks. Returns 1 with the line
// (without its newline), 0 at the end.
int sweep_next_case_line(const char *text, std::size_t length, std::size_t *position, const char **line,
                         std::size_t *line_length);

// Recounts shard_rows from row_count, shard_index and shard_count.
void sweep_plan_count_shard(sweep_plan *plan);

#endif
