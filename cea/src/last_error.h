// The last-error text of the C interface, one per thread: a failure on one
// thread never replaces or clears the text that another thread reads.
#ifndef CEA_LAST_ERROR_H
#define CEA_LAST_ERROR_H

#include "library_status.h"

namespace cea_impl {

// Makes f's text the calling thread's last error (cut to fit, terminated)
// and returns f's status.
int publish_failure(const failure *f);

// The calling thread's call succeeded: its last-error text becomes empty.
void clear_last_error();

// The calling thread's last-error text and its length (0 when none).
int last_error_length();
const char *last_error_text();

} // namespace cea_impl

#endif
