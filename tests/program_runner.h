// Runs a program with a given argument vector and collects what it writes on
// standard output and standard error, and its exit status.
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

// words becomes the whole argument vector, argv[0] included; an empty list
// starts the program with an empty argument vector. Output goes to unnamed
// temporary files, so a large output cannot block the child on a pipe.
inline program_output run_program(const std::string &path, const std::vector<std::string> &words)
{
    program_output result;
    std::FILE *out_file = std::tmpfile();
    std::FILE *err_file = std::tmpfile();
    if (out_file == nullptr || err_file == nullptr) {
        if (out_file != nullptr)
            std::fclose(out_file);
        if (err_file != nullptr)
            std::fclose(err_file);
        return result;
    }
    std::vector<char *> argv;
    for (const std::string &word : words) {
        argv.push_back(const_cast<char *>(word.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(out_file), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fileno(err_file), STDERR_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == 0) {
        int wait_status = 0;
        if (waitpid(child, &wait_status, 0) == child && WIFEXITED(wait_status)) {
            result.status = WEXITSTATUS(wait_status);
        }
        result.stdout_text = read_all(out_file);
        result.stderr_text = read_all(err_file);
    }
    std::fclose(out_file);
    std::fclose(err_file);
    return result;
}

} // namespace lre_test

#endif
