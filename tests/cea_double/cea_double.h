/*
 * cea_double.h - control of the scripted stand-in for the equilibrium library.
 *
 * libcea_double exports the sixteen operations of cea_bindc.h with results
 * that a test chooses: fixed or pressure-dependent chamber states, statuses
 * that fail on a chosen call, an error text whose reported length is set
 * independently of the text itself, and a record of every call made.
 * Link it instead of libcea_bindc; call cea_double_reset() before each test.
 *
 * Handles are the addresses of static objects: the reactant mixture, the
 * product mixture, the solver and the solution are four distinct nonzero
 * pointers, the same ones every time they are created.
 */
#ifndef CEA_DOUBLE_H
#define CEA_DOUBLE_H

#include "cea_bindc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The sixteen operations, in the order of cea_bindc.h. */
enum cea_double_op {
    CEA_DOUBLE_SET_LOG_LEVEL = 0,
    CEA_DOUBLE_INIT_THERMO,
    CEA_DOUBLE_MIXTURE_CREATE,
    CEA_DOUBLE_MIXTURE_CREATE_FROM_REACTANTS,
    CEA_DOUBLE_EQSOLVER_CREATE_WITH_REACTANTS,
    CEA_DOUBLE_EQSOLUTION_CREATE,
    CEA_DOUBLE_MIXTURE_OF_RATIO_TO_WEIGHTS,
    CEA_DOUBLE_MIXTURE_CALC_PROPERTY_MULTITEMP,
    CEA_DOUBLE_EQSOLVER_SOLVE,
    CEA_DOUBLE_EQSOLUTION_GET_CONVERGED,
    CEA_DOUBLE_EQSOLUTION_GET_PROPERTY,
    CEA_DOUBLE_LAST_ERROR_MESSAGE_LEN,
    CEA_DOUBLE_LAST_ERROR_MESSAGE_BUF,
    CEA_DOUBLE_EQSOLUTION_DESTROY,
    CEA_DOUBLE_EQSOLVER_DESTROY,
    CEA_DOUBLE_MIXTURE_DESTROY,
    CEA_DOUBLE_OP_COUNT
};

/* One call, in the order made. */
struct cea_double_call {
    int op;             /* enum cea_double_op */
    int arg;            /* log level, property selector, problem type or buffer size; else 0 */
    double value;       /* of_ratio of the weights call, pressure (bar) of a solve; else 0 */
    const void *handle; /* create: the handle written (null on failure); others: the handle used */
};

/* The arguments of the latest call of each operation, copied. */
struct cea_double_args {
    int log_level;
    char thermo_path[256];
    int reactant_count;
    char reactant_names[2][32];
    int product_count;
    char product_names[2][32];
    int product_omit_count;
    int product_omit_null; /* 1 when omit was a null pointer */
    const void *solver_products;
    const void *solver_reactants;
    const void *solution_solver;
    const void *weights_mixture;
    int weights_count;
    double oxidant[2];
    double fuel[2];
    double of_ratio;
    const void *enthalpy_mixture;
    int enthalpy_property;
    int enthalpy_weight_count;
    double enthalpy_weights[2];
    int enthalpy_temperature_count;
    double temperatures[2];
    const void *solve_solver;
    int solve_type;
    double solve_state1;
    double solve_state2;
    double solve_amounts[2];
    const void *solve_solution;
    int error_buffer_size;
};

/* What a solve puts into the solution. */
struct cea_double_state {
    double t_c; /* selector 0 */
    double m_r; /* selector 4 */
    double cp;  /* selector 11 */
    double cv;  /* selector 12 */
    int converged;
};

/* Called by every successful solve with the pressure in bar and the two
 * reactant weights; `state` arrives holding the fixed state and may be
 * changed. */
typedef void (*cea_double_state_fn)(double p_bar, const double weights[2], struct cea_double_state *state, void *user);

/* Everything back to the defaults: every call succeeds, converged, state
 * T 3500 K, M 21.5 kg/kmol, cp 2.0, cv 1.6, inlet enthalpy -1.0e6 J/kg, no
 * error text, no callback, no calls counted or logged, no handle live. */
void cea_double_reset(void);

/* Operation `op` returns `status` on its nth call (counted from 1 since the
 * reset), or on every call when nth is 0. A status of 0 removes the rule.
 * A failing call has no other effect. */
void cea_double_fail(int op, int nth, int status);

/* The last-error text, and the length cea_last_error_message_len reports
 * (-1: the text's own length). Texts up to 511 characters are kept. */
void cea_double_set_error(const char *text, int reported_length);

/* When on, cea_last_error_message_buf fills all `size` bytes with the text
 * padded with 'x', without a terminator. */
void cea_double_set_unterminated_error(int on);

void cea_double_set_converged(int converged);
void cea_double_set_state(double t_c, double m_r, double cp, double cv);
void cea_double_set_state_function(cea_double_state_fn fn, void *user);

/* The value selector 6 gives for the reactant mixture, J/kg. */
void cea_double_set_enthalpy(double value);

/* Calls of one operation since the reset (failed ones included). */
int cea_double_calls(int op);

/* The call log: its length (it keeps the first 4096 calls) and one entry. */
int cea_double_log_size(void);
struct cea_double_call cea_double_log_entry(int index);

const struct cea_double_args *cea_double_last_args(void);

/* Handles created and not yet destroyed. */
int cea_double_live_handles(void);

#ifdef __cplusplus
}
#endif

#endif
