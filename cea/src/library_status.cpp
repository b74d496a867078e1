#include "library_status.h"

#include <cstdarg>
#include <cstdio>

namespace cea_impl {

int fail(failure *out, int status, const char *format, ...)
{
    if (out != nullptr) {
        out->status = status;
        va_list args;
        va_start(args, format);
        // The analyzer does not see va_start through this header (a false
        // positive of clang 14).
        std::vsnprintf(out->text, sizeof out->text, format, args); // NOLINT(clang-analyzer-valist.Uninitialized)
        va_end(args);
    }
    return status;
}

} // namespace cea_impl
