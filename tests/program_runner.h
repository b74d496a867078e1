// Runs a program, or code in this process, and collects its standard output,
// standard error and exit status.
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
    std::fclose(file);
    return text;
}

// Runs `run`, a callable that returns an exit status, with standard output and
// error sent to unnamed temporary files (a pipe could block a large output).
template <typename Run>
program_output capture_output(Run run)
{
    program_output result;
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    if (out != nullptr && err != nullptr) {
        std::fflush(stdout);
        std::fflush(stderr);
        const int saved_out = dup(STDOUT_FILENO);
        const int saved_err = dup(STDERR_FILENO);
        dup2(fileno(out), STDOUT_FILENO);
        dup2(fileno(err), STDERR_FILENO);
        result.status = run();
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(saved_out, STDOUT_FILENO);
        dup2(saved_err, STDERR_FILENO);
        close(saved_out);
        close(saved_err);
    }
    result.stdout_text = out != nullptr ? read_all(out) : "";
    result.stderr_text = err != nullptr ? read_all(err) : "";
    return result;
}

// A null-terminated argument vector over words, argv[0] included.
inline std::vector<char *> argument_vector(std::vector<std::string> &words)
{
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    return argv;
}

// words becomes the whole argument vector; an empty list starts the program
// with an empty one. The child inherits the redirected output and error.
inline program_output run_program(const std::string &path, std::vector<std::string> words)
{
    std::vector<char *> argv = argument_vector(words);
    return capture_output([&] {
        pid_t child = 0;
        int wait_status = 0;
        if (posix_spawn(&child, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0 ||
            waitpid(child, &wait_status, 0) != child || !WIFEXITED(wait_status)) {
            return -1;
        }
        return WEXITSTATUS(wait_status);
    });
}

// Runs a main function (lre_perf_run in process) on an argument vector.
template <typename Main>
program_output run_main(Main main_function, std::vector<std::string> words)
{
    std::vector<char *> argv = argument_vector(words);
    return capture_output([&] { return main_function(static_cast<int>(words.size()), argv.data()); });
}

// Words in brackets, for failure messages: "[--burn-s] [12 ]".
inline std::string joined(const std::vector<std::string> &words)
{
    std::string text;
    for (const std::string &word : words) {
        text += (text.empty() ? "[" : " [") + word + "]";
    }
    return text;
}

} // namespace lre_test

#endif
