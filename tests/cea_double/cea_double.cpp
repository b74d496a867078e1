// Scripted stand-in for the equilibrium library: the sixteen operations of
// cea_bindc.h answer from the settings in cea_double.h and log every call.
// Test code, so the settings live in one static record that tests reset.
#include "cea_double.h"

#include <cstdio>
#include <cstring>

struct cea_mixture_t {
    int live;
};
struct cea_eqsolver_t {
    int live;
};
struct cea_eqsolution_t {
    int live;
    int solved;
    double p_bar;
    cea_double_state state;
};

namespace {

const int log_capacity = 4096;
const int text_capacity = 512;

struct fail_rule {
    int nth; // 0: every call
    int status;
};

struct double_settings {
    fail_rule fail[CEA_DOUBLE_OP_COUNT];
    int calls[CEA_DOUBLE_OP_COUNT];
    char text[text_capacity];
    int reported_length;
    int unterminated;
    cea_double_state state;
    cea_double_state_fn state_fn;
    void *state_user;
    double enthalpy;
    cea_double_call log[log_capacity];
    int log_size;
    cea_double_args args;
};

double_settings default_settings()
{
    double_settings fresh{};
    fresh.state = cea_double_state{3500.0, 21.5, 2.0, 1.6, 1};
    fresh.enthalpy = -1.0e6;
    return fresh;
}

// The defaults hold from the start, so a test that forgets the reset still
// sees a library that works.
double_settings settings = default_settings();
cea_mixture_t reactant_mixture;
cea_mixture_t product_mixture;
cea_eqsolver_t solver_object;
cea_eqsolution_t solution_object;

// Counts and logs the call; returns the scripted status (0 when none).
int enter(int op, int arg, double value, const void *handle)
{
    int call = ++settings.calls[op];
    if (settings.log_size < log_capacity) {
        settings.log[settings.log_size] = cea_double_call{op, arg, value, handle};
    }
    ++settings.log_size;
    const fail_rule &rule = settings.fail[op];
    if (rule.status != 0 && (rule.nth == 0 || rule.nth == call)) {
        return rule.status;
    }
    return CEA_OK;
}

// A create's log entry records the handle it wrote, known only on success.
void set_logged_handle(int entry, const void *handle)
{
    if (entry < log_capacity) {
        settings.log[entry].handle = handle;
    }
}

void copy_name(char *dst, const char *src) { std::snprintf(dst, 32, "%s", src != nullptr ? src : ""); }

} // namespace

extern "C" {

void cea_double_reset(void)
{
    settings = default_settings();
    reactant_mixture = cea_mixture_t{};
    product_mixture = cea_mixture_t{};
    solver_object = cea_eqsolver_t{};
    solution_object = cea_eqsolution_t{};
}

void cea_double_fail(int op, int nth, int status)
{
    if (op >= 0 && op < CEA_DOUBLE_OP_COUNT) {
        settings.fail[op] = fail_rule{nth, status};
    }
}

void cea_double_set_error(const char *text, int reported_length)
{
    std::snprintf(settings.text, sizeof settings.text, "%s", text != nullptr ? text : "");
    settings.reported_length = reported_length != -1 ? reported_length : static_cast<int>(std::strlen(settings.text));
}

void cea_double_set_unterminated_error(int on) { settings.unterminated = on; }
void cea_double_set_converged(int converged) { settings.state.converged = converged; }

void cea_double_set_state(double t_c, double m_r, double cp, double cv)
{
    settings.state = cea_double_state{t_c, m_r, cp, cv, settings.state.converged};
}

void cea_double_set_state_function(cea_double_state_fn fn, void *user)
{
    settings.state_fn = fn;
    settings.state_user = user;
}

void cea_double_set_enthalpy(double value) { settings.enthalpy = value; }

int cea_double_calls(int op) { return op >= 0 && op < CEA_DOUBLE_OP_COUNT ? settings.calls[op] : 0; }
int cea_double_log_size(void) { return settings.log_size < log_capacity ? settings.log_size : log_capacity; }

cea_double_call cea_double_log_entry(int index)
{
    if (index < 0 || index >= cea_double_log_size()) {
        return cea_double_call{-1, 0, 0.0, nullptr};
    }
    return settings.log[index];
}

const cea_double_args *cea_double_last_args(void) { return &settings.args; }

int cea_double_live_handles(void)
{
    return reactant_mixture.live + product_mixture.live + solver_object.live + solution_object.live;
}

// ---- the library's operations ----

int cea_set_log_level(int level)
{
    settings.args.log_level = level;
    return enter(CEA_DOUBLE_SET_LOG_LEVEL, level, 0.0, nullptr);
}

int cea_init_thermo(const char *path)
{
    std::snprintf(settings.args.thermo_path, sizeof settings.args.thermo_path, "%s", path != nullptr ? path : "");
    int status = enter(CEA_DOUBLE_INIT_THERMO, 0, 0.0, nullptr);
    if (status == CEA_OK && path == nullptr) {
        return CEA_INVALID_FILENAME;
    }
    return status;
}

int cea_mixture_create(cea_mixture *mix, int n, const char *const names[])
{
    int entry = settings.log_size;
    int status = enter(CEA_DOUBLE_MIXTURE_CREATE, n, 0.0, nullptr);
    settings.args.reactant_count = n;
    for (int i = 0; i < 2 && names != nullptr && i < n; ++i) {
        copy_name(settings.args.reactant_names[i], names[i]);
    }
    if (status != CEA_OK) {
        return status;
    }
    if (mix == nullptr) {
        return CEA_NULL_HANDLE;
    }
    reactant_mixture.live = 1;
    *mix = &reactant_mixture;
    set_logged_handle(entry, *mix);
    return CEA_OK;
}

int cea_mixture_create_from_reactants(cea_mixture *mix, int n, const char *const names[], int n_omit,
                                      const char *const omit[])
{
    int entry = settings.log_size;
    int status = enter(CEA_DOUBLE_MIXTURE_CREATE_FROM_REACTANTS, n, 0.0, nullptr);
    settings.args.product_count = n;
    for (int i = 0; i < 2 && names != nullptr && i < n; ++i) {
        copy_name(settings.args.product_names[i], names[i]);
    }
    settings.args.product_omit_count = n_omit;
    settings.args.product_omit_null = omit == nullptr ? 1 : 0;
    if (status != CEA_OK) {
        return status;
    }
    if (mix == nullptr) {
        return CEA_NULL_HANDLE;
    }
    product_mixture.live = 1;
    *mix = &product_mixture;
    set_logged_handle(entry, *mix);
    return CEA_OK;
}

int cea_eqsolver_create_with_reactants(cea_eqsolver *solver, cea_mixture products, cea_mixture reactants)
{
    int entry = settings.log_size;
    int status = enter(CEA_DOUBLE_EQSOLVER_CREATE_WITH_REACTANTS, 0, 0.0, nullptr);
    settings.args.solver_products = products;
    settings.args.solver_reactants = reactants;
    if (status != CEA_OK) {
        return status;
    }
    if (solver == nullptr || products == nullptr || reactants == nullptr) {
        return CEA_NULL_HANDLE;
    }
    solver_object.live = 1;
    *solver = &solver_object;
    set_logged_handle(entry, *solver);
    return CEA_OK;
}

int cea_eqsolution_create(cea_eqsolution *solution, cea_eqsolver solver)
{
    int entry = settings.log_size;
    int status = enter(CEA_DOUBLE_EQSOLUTION_CREATE, 0, 0.0, nullptr);
    settings.args.solution_solver = solver;
    if (status != CEA_OK) {
        return status;
    }
    if (solution == nullptr || solver == nullptr) {
        return CEA_NULL_HANDLE;
    }
    solution_object = cea_eqsolution_t{};
    solution_object.live = 1;
    *solution = &solution_object;
    set_logged_handle(entry, *solution);
    return CEA_OK;
}

int cea_mixture_of_ratio_to_weights(cea_mixture mix, int n, const double oxidant[], const double fuel[],
                                    double of_ratio, double weights[])
{
    int status = enter(CEA_DOUBLE_MIXTURE_OF_RATIO_TO_WEIGHTS, n, of_ratio, mix);
    cea_double_args &a = settings.args;
    a.weights_mixture = mix;
    a.weights_count = n;
    a.of_ratio = of_ratio;
    if (n == 2 && oxidant != nullptr && fuel != nullptr) {
        a.oxidant[0] = oxidant[0];
        a.oxidant[1] = oxidant[1];
        a.fuel[0] = fuel[0];
        a.fuel[1] = fuel[1];
    }
    if (status != CEA_OK) {
        return status;
    }
    if (mix == nullptr) {
        return CEA_NULL_HANDLE;
    }
    if (n != 2 || oxidant == nullptr || fuel == nullptr || weights == nullptr) {
        return CEA_INVALID_SIZE;
    }
    // Mass fractions of the blend of k parts oxidant and one part fuel.
    for (int i = 0; i < 2; ++i) {
        weights[i] = (of_ratio * oxidant[i] + fuel[i]) / (of_ratio + 1.0);
    }
    return CEA_OK;
}

int cea_mixture_calc_property_multitemp(cea_mixture mix, int property, int n_weights, const double weights[],
                                        int n_temperatures, const double temperatures[], double *value)
{
    int status = enter(CEA_DOUBLE_MIXTURE_CALC_PROPERTY_MULTITEMP, property, 0.0, mix);
    cea_double_args &a = settings.args;
    a.enthalpy_mixture = mix;
    a.enthalpy_property = property;
    a.enthalpy_weight_count = n_weights;
    a.enthalpy_temperature_count = n_temperatures;
    if (n_weights == 2 && weights != nullptr) {
        a.enthalpy_weights[0] = weights[0];
        a.enthalpy_weights[1] = weights[1];
    }
    if (n_temperatures == 2 && temperatures != nullptr) {
        a.temperatures[0] = temperatures[0];
        a.temperatures[1] = temperatures[1];
    }
    if (status != CEA_OK) {
        return status;
    }
    if (mix == nullptr || value == nullptr) {
        return CEA_NULL_HANDLE;
    }
    *value = settings.enthalpy;
    return CEA_OK;
}

int cea_eqsolver_solve(cea_eqsolver solver, int type, double state1, double state2, const double amounts[],
                       cea_eqsolution solution)
{
    int status = enter(CEA_DOUBLE_EQSOLVER_SOLVE, type, state2, solver);
    cea_double_args &a = settings.args;
    a.solve_solver = solver;
    a.solve_type = type;
    a.solve_state1 = state1;
    a.solve_state2 = state2;
    a.solve_solution = solution;
    if (amounts != nullptr) {
        a.solve_amounts[0] = amounts[0];
        a.solve_amounts[1] = amounts[1];
    }
    if (status != CEA_OK) {
        return status;
    }
    if (solver == nullptr || solution == nullptr || amounts == nullptr) {
        return CEA_NULL_HANDLE;
    }
    cea_double_state state = settings.state;
    if (settings.state_fn != nullptr) {
        settings.state_fn(state2, amounts, &state, settings.state_user);
    }
    solution->solved = 1;
    solution->p_bar = state2;
    solution->state = state;
    return CEA_OK;
}

int cea_eqsolution_get_converged(cea_eqsolution solution, int *converged)
{
    int status = enter(CEA_DOUBLE_EQSOLUTION_GET_CONVERGED, 0, 0.0, solution);
    if (status != CEA_OK) {
        return status;
    }
    if (solution == nullptr || converged == nullptr) {
        return CEA_NULL_HANDLE;
    }
    *converged = solution->solved != 0 && solution->state.converged != 0 ? 1 : 0;
    return CEA_OK;
}

int cea_eqsolution_get_property(cea_eqsolution solution, int property, double *value)
{
    int status = enter(CEA_DOUBLE_EQSOLUTION_GET_PROPERTY, property, 0.0, solution);
    if (status != CEA_OK) {
        return status;
    }
    if (solution == nullptr || value == nullptr) {
        return CEA_NULL_HANDLE;
    }
    switch (property) {
    case CEA_TEMPERATURE: *value = solution->state.t_c; return CEA_OK;
    case CEA_PRESSURE: *value = solution->p_bar; return CEA_OK;
    case CEA_M: *value = solution->state.m_r; return CEA_OK;
    case CEA_FROZEN_CP: *value = solution->state.cp; return CEA_OK;
    case CEA_FROZEN_CV: *value = solution->state.cv; return CEA_OK;
    default: return CEA_INVALID_PROPERTY_TYPE;
    }
}

int cea_last_error_message_len(int *length)
{
    int status = enter(CEA_DOUBLE_LAST_ERROR_MESSAGE_LEN, 0, 0.0, nullptr);
    if (status != CEA_OK) {
        return status;
    }
    if (length == nullptr) {
        return CEA_NULL_HANDLE;
    }
    *length = settings.reported_length;
    return CEA_OK;
}

int cea_last_error_message_buf(char *buffer, int size)
{
    int status = enter(CEA_DOUBLE_LAST_ERROR_MESSAGE_BUF, size, 0.0, nullptr);
    settings.args.error_buffer_size = size;
    if (status != CEA_OK) {
        return status;
    }
    if (buffer == nullptr || size <= 0) {
        return CEA_INVALID_SIZE;
    }
    int length = static_cast<int>(std::strlen(settings.text));
    if (settings.unterminated != 0) {
        for (int i = 0; i < size; ++i) {
            buffer[i] = i < length ? settings.text[i] : 'x';
        }
        return CEA_OK;
    }
    std::snprintf(buffer, static_cast<size_t>(size), "%s", settings.text);
    return length < size ? CEA_OK : CEA_INVALID_SIZE;
}

int cea_eqsolution_destroy(cea_eqsolution *solution)
{
    int status = enter(CEA_DOUBLE_EQSOLUTION_DESTROY, 0, 0.0, solution != nullptr ? *solution : nullptr);
    if (status != CEA_OK) {
        return status;
    }
    if (solution == nullptr) {
        return CEA_NULL_HANDLE;
    }
    if (*solution == &solution_object) {
        solution_object.live = 0;
    }
    *solution = nullptr;
    return CEA_OK;
}

int cea_eqsolver_destroy(cea_eqsolver *solver)
{
    int status = enter(CEA_DOUBLE_EQSOLVER_DESTROY, 0, 0.0, solver != nullptr ? *solver : nullptr);
    if (status != CEA_OK) {
        return status;
    }
    if (solver == nullptr) {
        return CEA_NULL_HANDLE;
    }
    if (*solver == &solver_object) {
        solver_object.live = 0;
    }
    *solver = nullptr;
    return CEA_OK;
}

int cea_mixture_destroy(cea_mixture *mix)
{
    int status = enter(CEA_DOUBLE_MIXTURE_DESTROY, 0, 0.0, mix != nullptr ? *mix : nullptr);
    if (status != CEA_OK) {
        return status;
    }
    if (mix == nullptr) {
        return CEA_NULL_HANDLE;
    }
    if (*mix == &reactant_mixture || *mix == &product_mixture) {
        (*mix)->live = 0;
    }
    *mix = nullptr;
    return CEA_OK;
}

} // extern "C"
