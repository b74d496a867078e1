#include "last_error.h"

#include <cstring>

namespace cea_impl {

namespace {

// Plain data, zero in every new thread: no constructor or destructor runs,
// so nothing of the C++ runtime is needed to give each thread its own.
struct error_text {
    int length;
    char text[failure_text_capacity];
};

thread_local error_text last;

} // namespace

int publish_failure(const failure *f)
{
    std::size_t n = std::strlen(f->text);
    if (n >= sizeof last.text) {
        n = sizeof last.text - 1;
    }
    std::memcpy(last.text, f->text, n);
    last.text[n] = '\0';
    last.length = static_cast<int>(n);
    return f->status;
}

void clear_last_error()
{
    last.length = 0;
    last.text[0] = '\0';
}

int last_error_length() { return last.length; }

const char *last_error_text() { return last.text; }

} // namespace cea_impl
