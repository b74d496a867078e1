// Between the program and the equilibrium library, for the tests and the
// command-line fuzz target: the executable is linked with --wrap for every
// cea_* operation (tests/CMakeLists.txt), so the program's calls arrive here
// and go on to the real library, except a call chosen to fail.
#ifndef LRE_TEST_LIBRARY_SHIM_H
#define LRE_TEST_LIBRARY_SHIM_H

namespace library_shim {

// The operations in the order of cea_bindc.h.
enum operation {
    set_log_level,
    init_thermo,
    mixture_create,
    products_create,
    solver_create,
    solution_create,
    ratio_to_weights,
    inlet_enthalpy,
    solve,
    get_converged,
    get_property,
    last_error_length,
    last_error_text,
    solution_destroy,
    solver_destroy,
    mixture_destroy,
    operation_count
};

// No failures, no text, no hook, every count 0.
void reset();

// The nth call of op from now (0: every call) returns status instead of
// reaching the library.
void fail(int op, int nth, int status);

// From now on the last-error text is text, reported as reported_length
// characters (-1: its own length); unterminated fills the reader's whole
// buffer with it, padded with 'x' and without a terminator.
void set_error_text(const char *text, int reported_length = -1, bool unterminated = false);

// Sees (and may change) each property the library returns, with the pressure
// (bar) of the last solve.
typedef void (*property_hook)(int property, double p_bar, double *value, void *user);
void set_property_hook(property_hook hook, void *user);

// Calls of op since the reset (failed ones included); handles created and
// not destroyed.
int calls(int op);
int live_handles();

} // namespace library_shim

#endif
