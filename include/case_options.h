// Option handling shared by every front end: the strict number parser, one
// option word with its value word applied to a reference case, the module
// pass over a command line, and the range validation. Nothing here prints;
// messages go into the caller's buffer, and a refusal's message is exactly
// the line lre-perf writes to standard error, without the newline.
#ifndef LRE_CASE_OPTIONS_H
#define LRE_CASE_OPTIONS_H

#include "engine_records.h"

// Strict conversion of a whole word: no trailing characters, no range error,
// no NaN or infinity. The converted value is stored even when rejected.
// Returns 1 when accepted, 0 otherwise.
int parse_number(const char *text, double *value);

enum option_outcome {
    OPTION_APPLIED = 0,
    OPTION_UNKNOWN = 1,   // not an option word (lre-perf: the usage text)
    OPTION_BAD_VALUE = 2, // value missing or not a number (lre-perf: the usage text)
    OPTION_REFUSED = 3,   // the module does not accept it (lre-perf: the message)
};

// Applies option_word with value_word (nullptr when there is none) to
// *reference for the module. The checks run in lre-perf's order: the value
// first, then the module's refusals, then the option word. On any outcome but
// OPTION_APPLIED a message is written to message (cut to message_size and
// terminated) and *reference is unchanged.
option_outcome apply_case_option(int module, const char *option_word, const char *value_word, engine_case *reference,
                                 char *message, int message_size);

// The same for a value already read (a sweep's axis value): only the
// module's refusals and an unknown option can fail.
option_outcome apply_case_value(int module, const char *option_word, double value, engine_case *reference,
                                char *message, int message_size);

// The module pass: the last "--engine" among words[0..count) and its value
// select the module (tq12b when there is none); every other word is stepped
// over singly. OPTION_BAD_VALUE for "--engine" as the last word, OPTION_REFUSED
// ("Engine must be tq12b, tq15b, or yf100k.") for a value that is no key.
option_outcome select_engine_module(int count, const char *const *words, int *module, char *message, int message_size);

// Checks the ranges the command line is responsible for, in a fixed order.
// Returns 1 when they hold, 0 with the first failure's message.
int validate_case_ranges(int module, const engine_case *reference, char *message, int message_size);

#endif
