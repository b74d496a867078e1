// Whole runs of several commands, one run of each in turn, so that the
// changing load of a shared machine falls on all of them alike: the wall
// time of each run from spawn to exit (standard output to /dev/null), then
// per command the median, the first quartile and the tenth percentile in
// milliseconds, and the median as a multiple of the first command's.
//   alternate_runs RUNS "/bin/true" "build/release/lre-perf build/release/thermo.lib" ...
// Each command is split on blanks, with no shell in between.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char **environ;

namespace {

const int warm_up_rounds = 20;

double now_ms()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

std::vector<std::string> split(const char *command)
{
    std::vector<std::string> words;
    std::string word;
    for (const char *c = command;; ++c) {
        if (*c == ' ' || *c == '\0') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
            if (*c == '\0') {
                return words;
            }
        } else {
            word += *c;
        }
    }
}

// One run: 1 when it started and exited with status 0.
int run_once(std::vector<std::string> &words, const posix_spawn_file_actions_t *actions, double *ms)
{
    std::vector<char *> argv;
    argv.reserve(words.size() + 1);
    for (std::string &w : words) {
        argv.push_back(&w[0]);
    }
    argv.push_back(nullptr);
    double start = now_ms();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), environ) != 0) {
        return 0;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        return 0;
    }
    *ms = now_ms() - start;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    char *end = nullptr;
    long runs = argc > 2 ? std::strtol(argv[1], &end, 10) : 0;
    if (runs < 1 || runs > 1000000 || *end != '\0') {
        std::fprintf(stderr, "usage: alternate_runs RUNS COMMAND...\n");
        return 1;
    }
    int n = argc - 2;
    std::vector<std::vector<std::string>> commands;
    commands.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        commands.push_back(split(argv[i + 2]));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::vector<double>> times(static_cast<std::size_t>(n));
    for (long round = -warm_up_rounds; round < runs; ++round) {
        for (int k = 0; k < n; ++k) {
            // The order turns each round, so that no command always follows the same one.
            std::size_t i = static_cast<std::size_t>((k + (round > 0 ? round : 0)) % n);
            double ms = 0.0;
            if (!run_once(commands[i], &actions, &ms)) {
                std::fprintf(stderr, "alternate_runs: '%s' failed\n", argv[i + 2]);
                return 1;
            }
            if (round >= 0) {
                times[i].push_back(ms);
            }
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    double first = 0.0;
    for (int i = 0; i < n; ++i) {
        std::vector<double> &t = times[static_cast<std::size_t>(i)];
        std::sort(t.begin(), t.end());
        double median = t[t.size() / 2];
        first = i == 0 ? median : first;
        std::printf("%7.3f ms median, %7.3f first quartile, %7.3f tenth percentile, %5.2f x  %s\n", median,
                    t[t.size() / 4], t[t.size() / 10], median / first, argv[i + 2]);
    }
    return 0;
}
