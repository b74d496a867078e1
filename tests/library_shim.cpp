// The wrapped operations of library_shim.h: each counts its call, returns the
// chosen status on the chosen call, and otherwise forwards to __real_cea_*.
#include "library_shim.h"

#include <cstring>
#include <string>

#include "cea_bindc.h"

namespace {

struct shim_state {
    int nth[library_shim::operation_count];
    int status[library_shim::operation_count];
    int calls[library_shim::operation_count];
    bool text_set;
    std::string text;
    int reported_length;
    bool unterminated;
    library_shim::property_hook hook;
    void *hook_user;
    double p_bar;
    int live;
};

shim_state shim = {};

// The chosen status of this call of op, or CEA_OK to go on to the library.
int enter(int op)
{
    const int call = ++shim.calls[op];
    return shim.status[op] != CEA_OK && (shim.nth[op] == 0 || shim.nth[op] == call) ? shim.status[op] : CEA_OK;
}

int created(int status)
{
    shim.live += status == CEA_OK ? 1 : 0;
    return status;
}

} // namespace

namespace library_shim {

void reset() { shim = shim_state{}; }

void fail(int op, int nth, int status)
{
    shim.nth[op] = nth + shim.calls[op] * (nth > 0 ? 1 : 0);
    shim.status[op] = status;
}

void set_error_text(const char *text, int reported_length, bool unterminated)
{
    shim.text_set = true;
    shim.text = text;
    shim.reported_length = reported_length == -1 ? static_cast<int>(shim.text.size()) : reported_length;
    shim.unterminated = unterminated;
}

void set_property_hook(property_hook hook, void *user)
{
    shim.hook = hook;
    shim.hook_user = user;
}

int calls(int op) { return shim.calls[op]; }
int live_handles() { return shim.live; }

} // namespace library_shim

using namespace library_shim;

// Declares __real_<name> and defines __wrap_<name>, which returns the chosen
// status or forwards (through `then`, which sees the library's status).
#define LRE_SHIM_WRAP(op, name, parameters, arguments, then)                                                           \
    int __real_##name parameters;                                                                                      \
    int __wrap_##name parameters                                                                                       \
    {                                                                                                                  \
        const int status = enter(op);                                                                                  \
        return status != CEA_OK ? status : then(__real_##name arguments);                                              \
    }

namespace {
int as_is(int status) { return status; }
} // namespace

// The names are the linker's: --wrap sends calls of cea_x to __wrap_cea_x
// and names the library's own __real_cea_x.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
LRE_SHIM_WRAP(set_log_level, cea_set_log_level, (int level), (level), as_is)
LRE_SHIM_WRAP(init_thermo, cea_init_thermo, (const char *path), (path), as_is)
LRE_SHIM_WRAP(mixture_create, cea_mixture_create, (cea_mixture * mix, int n, const char *const names[]),
              (mix, n, names), created)
LRE_SHIM_WRAP(products_create, cea_mixture_create_from_reactants,
              (cea_mixture * mix, int n, const char *const names[], int n_omit, const char *const omit[]),
              (mix, n, names, n_omit, omit), created)
LRE_SHIM_WRAP(solver_create, cea_eqsolver_create_with_reactants,
              (cea_eqsolver * solver, cea_mixture products, cea_mixture reactants), (solver, products, reactants),
              created)
LRE_SHIM_WRAP(solution_create, cea_eqsolution_create, (cea_eqsolution * solution, cea_eqsolver solver),
              (solution, solver), created)
LRE_SHIM_WRAP(ratio_to_weights, cea_mixture_of_ratio_to_weights,
              (cea_mixture mix, int n, const double oxidant[], const double fuel[], double of_ratio, double weights[]),
              (mix, n, oxidant, fuel, of_ratio, weights), as_is)
LRE_SHIM_WRAP(inlet_enthalpy, cea_mixture_calc_property_multitemp,
              (cea_mixture mix, int property, int n_weights, const double weights[], int n_temperatures,
               const double temperatures[], double *value),
              (mix, property, n_weights, weights, n_temperatures, temperatures, value), as_is)
LRE_SHIM_WRAP(get_converged, cea_eqsolution_get_converged, (cea_eqsolution solution, int *converged),
              (solution, converged), as_is)

int __real_cea_eqsolver_solve(cea_eqsolver solver, int type, double state1, double state2, const double amounts[],
                              cea_eqsolution solution);
int __wrap_cea_eqsolver_solve(cea_eqsolver solver, int type, double state1, double state2, const double amounts[],
                              cea_eqsolution solution)
{
    shim.p_bar = state2;
    const int status = enter(solve);
    return status != CEA_OK ? status : __real_cea_eqsolver_solve(solver, type, state1, state2, amounts, solution);
}

int __real_cea_eqsolution_get_property(cea_eqsolution solution, int property, double *value);
int __wrap_cea_eqsolution_get_property(cea_eqsolution solution, int property, double *value)
{
    int status = enter(get_property);
    status = status != CEA_OK ? status : __real_cea_eqsolution_get_property(solution, property, value);
    if (status == CEA_OK && shim.hook != nullptr) {
        shim.hook(property, shim.p_bar, value, shim.hook_user);
    }
    return status;
}

int __real_cea_last_error_message_len(int *length);
int __wrap_cea_last_error_message_len(int *length)
{
    const int status = enter(last_error_length);
    if (status != CEA_OK || !shim.text_set) {
        return status != CEA_OK ? status : __real_cea_last_error_message_len(length);
    }
    *length = shim.reported_length;
    return CEA_OK;
}

int __real_cea_last_error_message_buf(char *buffer, int size);
int __wrap_cea_last_error_message_buf(char *buffer, int size)
{
    const int status = enter(last_error_text);
    if (status != CEA_OK || !shim.text_set) {
        return status != CEA_OK ? status : __real_cea_last_error_message_buf(buffer, size);
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(size); ++i) {
        buffer[i] = i < shim.text.size() ? shim.text[i] : shim.unterminated ? 'x' : '\0';
    }
    if (!shim.unterminated && size > 0) {
        buffer[size - 1] = '\0';
    }
    return CEA_OK;
}

// A destroy is counted before the library zeroes the handle. (A type cannot
// stand in parentheses.)
// NOLINTBEGIN(bugprone-macro-parentheses)
#define LRE_SHIM_DESTROY(op, name, type)                                                                               \
    int __real_##name(type *handle);                                                                                   \
    int __wrap_##name(type *handle)                                                                                    \
    {                                                                                                                  \
        shim.live -= handle != nullptr && *handle != nullptr ? 1 : 0;                                                  \
        enter(op);                                                                                                     \
        return __real_##name(handle);                                                                                  \
    }
// NOLINTEND(bugprone-macro-parentheses)
LRE_SHIM_DESTROY(solution_destroy, cea_eqsolution_destroy, cea_eqsolution)
LRE_SHIM_DESTROY(solver_destroy, cea_eqsolver_destroy, cea_eqsolver)
LRE_SHIM_DESTROY(mixture_destroy, cea_mixture_destroy, cea_mixture)
}
// NOLINTEND(bugprone-reserved-identifier)
