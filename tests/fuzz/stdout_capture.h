// Collects what a piece of code writes on standard output, by pointing file
// descriptor 1 at an unnamed temporary file for the duration of a run.
// Standard error is left alone: a sanitizer report or a failed check must
// still reach the console.
#ifndef LRE_FUZZ_STDOUT_CAPTURE_H
#define LRE_FUZZ_STDOUT_CAPTURE_H

#include <unistd.h>

#include <cstdio>
#include <string>

#include "fuzz_input.h"

namespace lre_fuzz {

struct stdout_capture {
    std::FILE *file; // the temporary file, reused run after run
    int saved_fd;    // the real standard output while a run is captured
};

inline void begin_capture(stdout_capture *capture)
{
    if (capture->file == nullptr) {
        capture->file = std::tmpfile();
        if (capture->file == nullptr) {
            fail("cannot create a temporary file for standard output");
        }
    }
    std::fflush(stdout);
    capture->saved_fd = dup(STDOUT_FILENO);
    if (capture->saved_fd < 0 || ftruncate(fileno(capture->file), 0) != 0 ||
        lseek(fileno(capture->file), 0, SEEK_SET) != 0 || dup2(fileno(capture->file), STDOUT_FILENO) < 0) {
        fail("cannot redirect standard output");
    }
}

// Restores standard output and returns what was written to it.
inline std::string end_capture(stdout_capture *capture)
{
    std::fflush(stdout);
    if (dup2(capture->saved_fd, STDOUT_FILENO) < 0) {
        fail("cannot restore standard output");
    }
    close(capture->saved_fd);
    capture->saved_fd = -1;
    std::string text;
    const int fd = fileno(capture->file);
    if (lseek(fd, 0, SEEK_SET) != 0) {
        fail("cannot rewind the captured standard output");
    }
    char chunk[4096];
    ssize_t got = 0;
    while ((got = read(fd, chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

} // namespace lre_fuzz

#endif
