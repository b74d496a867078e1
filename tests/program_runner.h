// Runs a program with a given argument vector, or a piece of code in this
// process, and collects what it writes on standard output and standard error,
// and its exit status.
#ifndef LRE_TEST_PROGRAM_RUNNER_H
#define LRE_TEST_PROGRAM_RUNNER_H

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char **environ;

namespace lre_test {

struct program_output {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string stdout_text;
    std::string stderr_text;
};

inline std::string read_all(std::FILE *file)
{
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
    }
    return text;
}

// Unnamed temporary files for standard output and error, so that a large
// output cannot block the writer on a pipe.
struct output_files {
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    output_files() = default;
    output_files(const output_files &) = delete;
    output_files &operator=(const output_files &) = delete;
    ~output_files()
    {
        if (out != nullptr)
            std::fclose(out);
        if (err != nullptr)
            std::fclose(err);
    }
    bool ok() const { return out != nullptr && err != nullptr; }
    void collect(program_output *result) const
    {
        result->stdout_text = read_all(out);
        result->stderr_text = read_all(err);
    }
};

// words becomes the whole argument vector, argv[0] included; an empty list
// starts the program with an empty argument vector.
inline program_output run_program(const std::string &path, const std::vector<std::string> &words)
{
    program_output result;
    const output_files files;
    if (!files.ok()) {
        return result;
    }
    std::vector<char *> argv;
    for (const std::string &word : words) {
        argv.push_back(const_cast<char *>(word.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(files.out), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fileno(files.err), STDERR_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == 0) {
        int wait_status = 0;
        if (waitpid(child, &wait_status, 0) == child && WIFEXITED(wait_status)) {
            result.status = WEXITSTATUS(wait_status);
        }
        files.collect(&result);
    }
    return result;
}

// The same for `run`, a callable in this process that returns an exit status.
template <typename Run>
program_output capture_output(Run run)
{
    program_output result;
    const output_files files;
    if (!files.ok()) {
        return result;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const int saved_out = dup(STDOUT_FILENO);
    const int saved_err = dup(STDERR_FILENO);
    dup2(fileno(files.out), STDOUT_FILENO);
    dup2(fileno(files.err), STDERR_FILENO);
    result.status = run();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, STDOUT_FILENO);
    dup2(saved_err, STDERR_FILENO);
    close(saved_out);
    close(saved_err);
    files.collect(&result);
    return result;
}

// Runs a main function renamed lre_perf_main (the program's main unit
// compiled into a test) on an argument vector, argv[0] included.
template <typename Main>
program_output run_main(Main main_function, std::vector<std::string> words)
{
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    return capture_output([&] { return main_function(static_cast<int>(words.size()), argv.data()); });
}

} // namespace lre_test

#endif
