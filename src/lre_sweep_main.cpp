// lre-sweep: families of lre-perf cases in one process over one open
// chamber per thread. This unit wires the command line, the case file, the
// output file, the signals and the progress line to the sweep engine
// (sweep_plan.h, sweep_run.h, sweep_parallel.h).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cea_chamber.h"
#include "sweep_parallel.h"
#include "sweep_plan.h"
#include "sweep_run.h"

// Rows one run of lre-sweep accepts (after --shard); a larger sweep is
// refused before any work. Shards spread a larger one over processes.
static const long long max_rows_per_run = 10000000;
// The progress line is rewritten at most this often.
static const double progress_interval_s = 0.1;

// Set by SIGINT and SIGTERM: a signal handler can reach nothing else. The
// sweep stops after the row it is writing.
static volatile std::sig_atomic_t stop_requested = 0;

static void request_stop(int) { stop_requested = 1; }

static void print_usage(std::FILE *out)
{
    std::fputs("Usage: lre-sweep THERMO_LIB [lre-perf options] [--vary NAME=FROM:TO:STEP | --vary NAME=V1,V2,...]...\n"
               "                 [--cases FILE|-] [--maximize MEMBER --over NAME=LO:HI] [--format csv|jsonl]\n"
               "                 [--output FILE] [--shard K/N] [--jobs N] [--progress]\n"
               "  --vary NAME=...   vary an lre-perf option, named without its dashes (up to three; the last fastest)\n"
               "  --cases FILE      one case per line: lre-perf option words applied on top of the base options\n"
               "  --maximize MEMBER the document member to maximise (calculated.I_s_v_mps) over --over's range\n"
               "  --format          csv (default) or jsonl\n"
               "  --output FILE     write the rows to FILE instead of standard output\n"
               "  --shard K/N       only the cases whose index i has i mod N = K - 1\n",
               out);
    std::fprintf(out, "  --jobs N          solve on N threads, 1 to %d (default: the online processors, here %d)\n",
                 static_cast<int>(sweep_max_jobs), sweep_default_jobs());
    std::fputs("  --progress        progress on standard error even when it is not a terminal\n"
               "  --help            this text (as the only word)\n"
               "  --version         the program's name and version (as the only word)\n",
               out);
    std::fprintf(out, "At most %lld cases per run. Exit status: 0 all rows ok, 2 some failed, 1 not started.\n",
                 max_rows_per_run);
}

static double seconds_now()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct progress_line {
    double start_s;
    double last_s;
};

static void show_progress(void *user, long long done, long long total, long long failed)
{
    progress_line *progress = static_cast<progress_line *>(user);
    const double now = seconds_now();
    if (done < total && now - progress->last_s < progress_interval_s) {
        return;
    }
    progress->last_s = now;
    const double elapsed = now - progress->start_s;
    const double rate = elapsed > 0.0 ? static_cast<double>(done) / elapsed : 0.0;
    const double left = rate > 0.0 ? static_cast<double>(total - done) / rate : 0.0;
    std::fprintf(stderr, "\r%lld/%lld cases, %.0f cases/s, %.1f s left, %lld failed", done, total, rate, left, failed);
    if (done == total) {
        std::fputc('\n', stderr);
    }
}

static int write_row(void *user, const char *row, std::size_t length)
{
    return std::fwrite(row, 1, length, static_cast<std::FILE *>(user)) == length;
}

// Reads the whole case text (a file, or standard input for "-"); the one
// allocation of a run, made before the first case.
static char *read_cases(const char *path, std::size_t *length)
{
    std::FILE *file = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    std::size_t capacity = 65536;
    std::size_t used = 0;
    char *text = static_cast<char *>(std::malloc(capacity));
    while (text != nullptr) {
        used += std::fread(text + used, 1, capacity - used, file);
        if (used < capacity) {
            break;
        }
        capacity *= 2;
        char *grown = static_cast<char *>(std::realloc(text, capacity));
        if (grown == nullptr) {
            std::free(text);
        }
        text = grown;
    }
    const int failed = std::ferror(file);
    if (file != stdin) {
        std::fclose(file);
    }
    if (failed) {
        std::free(text);
        return nullptr;
    }
    *length = used;
    return text;
}

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        print_usage(stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("lre-sweep %s\n", LRE_VERSION);
        return 0;
    }
    if (argc < 2) {
        print_usage(stderr);
        return 1;
    }
    // The plan is large (its list axes); it lives here for the whole run.
    static sweep_plan plan;
    char message[sweep_message_size] = {0};
    if (!sweep_plan_parse(&plan, argc - 1, argv + 1, message, sizeof message)) {
        std::fprintf(stderr, "%s\n", message);
        return 1;
    }
    char *cases = nullptr;
    if (plan.cases_path != nullptr) {
        std::size_t length = 0;
        cases = read_cases(plan.cases_path, &length);
        if (cases == nullptr) {
            std::fprintf(stderr, "Cannot read the case file %s: %s\n", plan.cases_path, std::strerror(errno));
            return 1;
        }
        if (!sweep_plan_set_cases(&plan, cases, length, message, sizeof message)) {
            std::fprintf(stderr, "%s\n", message);
            std::free(cases);
            return 1;
        }
    }
    int status = 1;
    cea_chamber chamber = {};
    std::FILE *out = stdout;
    if (!sweep_plan_check_limit(&plan, max_rows_per_run, message, sizeof message) ||
        !sweep_open_chamber(&plan, &chamber, message, sizeof message)) {
        std::fprintf(stderr, "%s\n", message);
    } else if (plan.output_path != nullptr && (out = std::fopen(plan.output_path, "w")) == nullptr) {
        std::fprintf(stderr, "Cannot write %s: %s\n", plan.output_path, std::strerror(errno));
    } else {
        struct sigaction action = {};
        action.sa_handler = request_stop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);

        progress_line progress = {seconds_now(), 0.0};
        const int show = plan.progress || isatty(STDERR_FILENO);
        const sweep_callbacks callbacks = {write_row, out, show ? show_progress : nullptr, &progress, &stop_requested};
        sweep_outcome outcome = {};
        const int jobs = plan.jobs > 0 ? plan.jobs : sweep_default_jobs();
        const int ran = sweep_run_parallel(&plan, &chamber, jobs, &callbacks, &outcome);
        const int closed = out == stdout ? std::fflush(out) == 0 : std::fclose(out) == 0;
        if (!ran || !closed) {
            std::fprintf(stderr, "Writing the rows failed after %lld rows.\n", outcome.rows_written);
        } else if (outcome.cancelled) {
            if (show) {
                std::fputc('\n', stderr);
            }
            std::fprintf(stderr, "Interrupted: %lld of %lld rows written, each whole.\n", outcome.rows_written,
                         plan.shard_rows);
        } else {
            status = outcome.rows_failed == 0 ? 0 : 2;
        }
    }
    cea_chamber_close(&chamber);
    std::free(cases);
    return status;
}
