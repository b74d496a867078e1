// Status codes and the failure text that travels with them inside the
// library, up to the C interface layer that publishes it as the last error.
#ifndef CEA_LIBRARY_STATUS_H
#define CEA_LIBRARY_STATUS_H

#include "cea_bindc.h"

namespace cea_impl {

// Long enough for a message that quotes a file path and a line.
static const int failure_text_capacity = 768;

struct failure {
    int status;
    char text[failure_text_capacity];
};

// Records status and the printf-formatted text in *out and returns status,
// so that a caller can write `return fail(out, CEA_..., "...", ...);`.
int fail(failure *out, int status, const char *format, ...) __attribute__((format(printf, 3, 4)));

} // namespace cea_impl

#endif
