// The internals of one equilibrium solve, shared by the modules of the
// solver: the state of the iteration and the steps that act on it. The
// solve (equilibrium_solve.cpp) runs them in the order of the published
// method: a first estimate, Newton iterations to convergence on the reduced
// equations, the tests for condensed phases after each convergence, and the
// result with its derivatives.
#ifndef CEA_EQUILIBRIUM_ITERATION_H
#define CEA_EQUILIBRIUM_ITERATION_H

#include <cstddef>

#include "equilibrium_solver.h"
#include "thermo_functions.h"

namespace cea_impl {

// Initial estimate (RP-1311 section 3.1): n = 0.1 kmol/kg shared equally by
// the gases, no condensed species, and T = 3800 K when T is unknown.
static const double initial_gas_moles_kmol_kg = 0.1;
static const double initial_temperature_k = 3800.0;
// An element whose amount is below this fraction of the largest element's
// is a trace element (the method's BRATIO test, RP-1311 section 3.2): the
// trace floors move down with it (equilibrium_solve.cpp) and its gases
// start below the others (spread_gas_estimate).
static const double trace_element_ratio = 1e-5;
// The first estimate, on the small gases alone, may wander past the data;
// it is given up beyond these bounds. The full iteration stays within the
// data (iteration::held), and within these bounds too should some gas's
// data reach beyond them.
static const double min_iteration_temperature_k = 100.0;
static const double max_iteration_temperature_k = 30000.0;

// Plain comparisons: std::fmax and std::fmin are library calls here, and
// every value they see is a number.
inline double larger(double a, double b) { return a > b ? a : b; }

inline double smaller(double a, double b) { return a < b ? a : b; }

inline std::size_t at(int i) { return static_cast<std::size_t>(i); }

// The state of one solve.
struct iteration {
    equilibrium_solver *s;
    int energy_row;   // 1 when T is unknown (HP)
    double h0_over_r; // assigned h/R, kmol K/kg (HP)
    double ln_p;      // ln(p / 1 bar)
    double t;
    double ln_t;
    double ln_n_total; // ln n, the iteration variable of the gas moles
    int active_element_count;
    int included_count;
    int iterations;
    int present_count; // gases in the sums (present_list)
    // On for the first estimate, which iterates on the small gases only.
    int small_only;
    int temperature_clamped; // T ran into the bounds of the first estimate
    // The temperatures where every gas in play has data, and their logs.
    // The full iteration keeps T within them: the fits are polynomials that
    // mean nothing beyond, and a condensed species is tested (eq. 3.7) only
    // within its own range, which starts no lower. A step past a limit
    // holds T there (held -1 at the lower, +1 at the upper limit), and the
    // iteration goes on at that assigned temperature until the condensed
    // species there are settled; the solve then knows on which side of the
    // limit the state lies.
    double t_low_k;
    double t_high_k;
    double ln_t_low;
    double ln_t_high;
    int held;
    // The floors below ln n: SIZE of the step control (trace_log_size),
    // the floor of the sums in force (SIZE, or XSIZE once a condensed
    // species has entered), and XSIZE; all deeper with a trace element.
    // Then the largest element amount.
    double trace_log;
    double presence_log;
    double condensed_log;
    double b0_max;
    // 1 once the set of gases in the sums has changed max_set_changes times
    // at a converged state: a gas in the sums then stays there.
    int keep_present;
    int trace_elements; // 1 when some element is below trace_element_ratio of b0_max
    // 1 while the work arrays hold the functions of the current state with
    // the gases in the sums that it decides (the final test of converge
    // evaluated it), so that the result need not evaluate it again.
    int state_evaluated;
};

// Gases in the iteration occupy the leading columns of the gas tables.
inline int gas_columns(const iteration *it) { return it->small_only ? it->s->small_gas_count : it->s->gas_count; }

inline int gas_in_play(const iteration *it, int g) { return it->s->gas_active[at(g)] && g < gas_columns(it); }

// Sums over the gases that several rows share.
struct gas_sums {
    double n;      // sum n_j
    double nh;     // sum n_j H_j/RT
    double nh2;    // sum n_j (H_j/RT)^2
    double nmu;    // sum n_j mu_j/RT
    double nhmu;   // sum n_j H_j/RT mu_j/RT
    double ncp;    // sum n_j Cp_j/R, condensed included
    double nh_all; // sum n_j H_j/RT, condensed included
};

// --- functions_at_temperature.cpp: the species' functions at the iteration's T ---

// Loads the interval of gas g that serves temperature t into the
// coefficient table, with the range over which it keeps serving.
void load_gas_interval(equilibrium_solver *s, int g, double t);

// The temperatures where every gas that `in_play` marks has data (0 to 0
// when it marks none).
void gas_data_range(const equilibrium_solver *s, const int *in_play, double *low_k, double *high_k);

// Cp/R of gas g, whose interval for the temperature is loaded.
double gas_heat_capacity(const equilibrium_solver *s, int g, const temperature_powers *p);

// The functions of condensed species c at the temperature of p.
void evaluate_condensed(equilibrium_solver *s, int c, const temperature_powers *p);

// Functions, amounts and chemical potentials of the species at the current
// state, and which gases are in the sums. Returns how many gases entered or
// left the sums.
int evaluate_state(iteration *it);

// --- linear_solve.cpp ---

// Solves the augmented m x (m + 1) system a for x; 0 when it is singular.
int solve_linear(double *a, int m, double *x);

// --- newton_system.cpp: the reduced Gibbs iteration equations ---

// Fills the augmented matrix a of the current state; returns the number of
// unknowns and the gas sums the rows share.
int assemble(iteration *it, double *a, gas_sums *sums);

// --- newton_iteration.cpp: Newton's iteration to convergence ---

// Whether the state that evaluate_state last evaluated balances.
int balances_hold(const iteration *it);

// h/R (kmol K/kg) of the state that evaluate_state last evaluated.
double state_enthalpy_over_r(const iteration *it);

enum { converge_method_tests = 0, converge_to_rounding = 1 };

// Iterates to convergence with the current set of condensed species; 0
// when it does not converge within the limits.
int converge(iteration *it, int mode);

// --- condensed_phases.cpp ---

// With T unknown: changes the phase of an included condensed species
// outside its temperature range for another phase of its substance that
// covers T, or drops it when none does (RP-1311 section 3.5). 1 when the
// set changed.
int revise_phases(iteration *it);

// After a convergence: the condensed species that leave, change phase or
// enter (eq. 3.7). 1 when the set changed and the iteration must go on.
int revise_condensed(iteration *it);

// --- first_estimate.cpp ---

// Every gas in play at an equal share of n_start kmol/kg.
void spread_gas_estimate(iteration *it, double n_start);

// The estimate from the equilibrium among the small gases; 0 when there is
// none (the caller then starts from spread_gas_estimate).
int small_gas_estimate(iteration *it, double n_start);

// --- equilibrium_derivatives.cpp ---

// The equilibrium cp and the volume derivatives of a converged state; 0
// when they cannot be solved or are not physical.
int equilibrium_derivatives(iteration *it, equilibrium_solution *out);

// --- equilibrium_result.cpp ---

// The state reached, into the solution: reason 0 when the iteration
// converged, which it has only when the state balances and lies within
// data_low_k to data_high_k, else one of the unconverged_ codes.
void record_result(iteration *it, int reason, double data_low_k, double data_high_k, equilibrium_solution *out);

} // namespace cea_impl

#endif
