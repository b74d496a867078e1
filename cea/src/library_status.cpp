#include "library_status.h"

#include <cstdarg>
#include <cstdio>

namespace cea_impl {

int fail(failure *out, int status, const char *format, ...)
{
    if (out != nullptr) {
        out->status = status;
        std::va_list args;
        va_start(args, format);
        std::vsnprintf(out->text, sizeof out->text, format, args);
        va_end(args);
    }
    return status;
}

} // namespace cea_impl
