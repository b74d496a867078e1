// Newton's iteration to convergence with a fixed set of condensed species:
// the corrections of every gas (eq. 2.18), the published step control
// (eqs. 3.1 to 3.4), the method's convergence tests (eqs. 3.5, 3.6) and,
// past them, the finish to the rounding level with the balances checked.
#include "equilibrium_iteration.h"

#include <cmath>

namespace cea_impl {

// The first estimate is worth a few cheap iterations, not more.
static const int small_gas_iterations = 30;
// A set of gases in the sums that still changes after this many tests of a
// converged state has a gas sitting at the floor, whose inclusion moves it
// across: from then on a gas in the sums stays there, so that the solve
// ends, and ends the same way for the same arguments.
static const int max_set_changes = 3;
// A trace species may grow at most to mole fraction 1e-4 in one step.
static const double trace_growth_log_limit = 9.2103404;
// Corrections to ln T and ln n are limited to a factor e^0.4, to other
// gases' ln n_j to e^2.
static const double temperature_step_weight = 5.0;
static const double species_step_limit = 2.0;
static const double trace_growth_min_difference = 1e-4;
// The method's own convergence tests.
static const double composition_tolerance = 0.5e-5;
static const double temperature_tolerance = 1e-4;
static const double mass_balance_tolerance = 1e-6;
// What "converged" promises: every element's amount and, with T unknown,
// the enthalpy, to this fraction of themselves. The method's tests above
// leave out elements below 1e-6 kmol/kg and give no bound on the enthalpy.
static const double balance_tolerance = 1e-10;
// Past the method's tests Newton goes on until its corrections reach the
// rounding level, so that results do not depend on the starting point: a
// full step of at most 1e-8 leaves an error of order 1e-16.
static const double finish_correction = 1e-8;
static const int max_rounding_iterations = 8;
// Iteration limits: per convergence (as the method's 50 + NS/2), and over a
// whole solve with condensed species entering and leaving.
static const int base_iterations = 50;
static const int max_total_iterations = 600;
// Singular equations (restore_trace_gases): the gases below the floor come
// back a factor e above it, at most this many times in one convergence.
static const double restored_log_margin = 1.0;
static const int max_restorations = 3;

enum { step_failed = 0, step_taken = 1, step_singular = 2 };

// One Newton step with the published step control. Returns step_singular
// (with the state untouched) when the equations could not be solved;
// otherwise takes the step, reports whether the method's convergence tests
// held and the size of the step, and returns step_taken, or step_failed
// when the state reached is not a number or the first estimate gave up.
static int newton_step(iteration *it, int *loose, double *correction)
{
    equilibrium_solver *s = it->s;
    it->state_evaluated = 0;
    evaluate_state(it);
    gas_sums g;
    int m = assemble(it, s->matrix, &g);
    double *x = s->unknowns;
    if (!solve_linear(s->matrix, m, x)) {
        return step_singular;
    }
    int le = it->active_element_count;
    int ng = gas_columns(it);
    std::size_t stride = at(s->gas_count);
    for (int i = 0; i < s->element_count; ++i) {
        s->pi[at(i)] = 0.0;
    }
    for (int k = 0; k < le; ++k) {
        s->pi[at(s->active_elements[at(k)])] = x[k];
    }
    int nc = it->included_count;
    double dln_n = x[le + nc];
    double dln_t = it->energy_row ? x[le + nc + 1] : 0.0;

    // Corrections of the gases (eq. 2.18): a straight loop over every gas.
    double *dln = s->dln;
    const double *mu = s->mu;
    const double *h_rt = s->h_rt;
    for (int j = 0; j < ng; ++j) {
        dln[j] = dln_n - mu[j] + h_rt[j] * dln_t;
    }
    for (int k = 0; k < le; ++k) {
        const double *row = s->gas_atoms + at(s->active_elements[at(k)]) * stride;
        double pi_k = x[k];
        for (int j = 0; j < ng; ++j) {
            dln[j] += row[j] * pi_k;
        }
    }

    // Step control (eqs. 3.1 to 3.3). Only increases are limited: a large
    // decrease of ln n_j cannot overshoot into a negative amount.
    double big = temperature_step_weight * larger(std::fabs(dln_t), std::fabs(dln_n));
    double lambda2 = 1.0;
    double n_sum = g.n;
    for (int q = 0; q < nc; ++q) {
        n_sum += s->condensed_n[at(s->included_list[at(q)])];
    }
    double worst_gas = 0.0;
    double trace_floor = it->ln_n_total - it->trace_log;
    for (int j = 0; j < ng; ++j) {
        if (!gas_in_play(it, j)) {
            continue;
        }
        double d = dln[j];
        double ln_nj = s->ln_n[at(j)];
        if (ln_nj > trace_floor) {
            big = larger(big, d);
        } else if (d >= 0.0) {
            double growth = d - dln_n;
            if (std::fabs(growth) >= trace_growth_min_difference) {
                double limit = std::fabs((it->ln_n_total - ln_nj - trace_growth_log_limit) / growth);
                lambda2 = smaller(lambda2, limit);
            }
        }
        worst_gas = larger(worst_gas, s->n[at(j)] * std::fabs(d) / n_sum);
    }
    double lambda = big > species_step_limit ? species_step_limit / big : 1.0;
    lambda = smaller(lambda, lambda2);

    // The method's convergence tests (eqs. 3.5, 3.6a, 3.6b) on this step.
    double worst_condensed = 0.0;
    for (int q = 0; q < nc; ++q) {
        worst_condensed = larger(worst_condensed, std::fabs(x[le + q]) / n_sum);
    }
    double n_test = g.n * std::fabs(dln_n) / n_sum;
    double b_max = 0.0;
    for (int k = 0; k < le; ++k) {
        b_max = larger(b_max, s->b0[at(s->active_elements[at(k)])]);
    }
    int balance_ok = 1;
    for (int k = 0; k < le; ++k) {
        double b0 = s->b0[at(s->active_elements[at(k)])];
        if (b0 > mass_balance_tolerance && std::fabs(b0 - s->b_current[at(k)]) > mass_balance_tolerance * b_max) {
            balance_ok = 0;
        }
    }
    *loose = lambda == 1.0 && worst_gas <= composition_tolerance && worst_condensed <= composition_tolerance &&
             n_test <= composition_tolerance && std::fabs(dln_t) <= temperature_tolerance && balance_ok;
    *correction = larger(larger(worst_gas, worst_condensed), larger(n_test, std::fabs(dln_t)));

    // New estimates (eq. 3.4).
    for (int j = 0; j < ng; ++j) {
        if (gas_in_play(it, j)) {
            s->ln_n[at(j)] += lambda * dln[j];
        }
    }
    for (int q = 0; q < nc; ++q) {
        s->condensed_n[at(s->included_list[at(q)])] += lambda * x[le + q];
    }
    it->ln_n_total += lambda * dln_n;
    if (it->energy_row) {
        it->ln_t += lambda * dln_t;
        if (it->small_only) {
            if (it->ln_t < std::log(min_iteration_temperature_k) || it->ln_t > std::log(max_iteration_temperature_k)) {
                it->temperature_clamped = 1;
                return step_failed; // the small gases cannot meet the enthalpy: give up the first estimate
            }
            it->t = std::exp(it->ln_t);
        } else if (it->ln_t < it->ln_t_low || it->ln_t > it->ln_t_high) {
            // Held at the limit, exactly, with T assigned from now on; the
            // state is not the one this step was tested at.
            *loose = 0;
            it->held = it->ln_t < it->ln_t_low ? -1 : 1;
            it->t = it->held < 0 ? it->t_low_k : it->t_high_k;
            it->ln_t = it->held < 0 ? it->ln_t_low : it->ln_t_high;
            it->energy_row = 0;
        } else {
            it->t = std::exp(it->ln_t);
        }
    }
    ++it->iterations;
    return std::isfinite(it->ln_n_total) && std::isfinite(it->ln_t) ? step_taken : step_failed;
}

// The equations are singular when the gases left in the sums no longer
// hold the elements independently. Far from the answer (from equal shares
// at a few hundred K) a step may carry below the floor a gas that the
// element ratios need: with hydrogen in excess at 400 K, H2 falls below it
// while H2O and O2 remain; these two cannot hold the surplus hydrogen, so
// Newton drives O2 out after it and H2O alone is left for the two element
// rows (when lean, O2 goes, and CO2 and H2O are left for three). The gas
// below the floor still has its ln n_j corrected by eq. (2.18) and would
// come back, but the equations can no longer be solved to take it there.
// Every gas in play below the floor in force is then put back just above
// it, which gives the equations every gas again; those not needed leave in
// the next steps, and the convergence tests and balances that follow are
// those of any other state. Returns how many gases were put back (0 for
// the first estimate, whose failure leads to the published start).
static int restore_trace_gases(iteration *it)
{
    if (it->small_only) {
        return 0;
    }
    equilibrium_solver *s = it->s;
    double trace_floor = it->ln_n_total - it->presence_log;
    double restored = trace_floor + restored_log_margin;
    int count = 0;
    for (int j = 0; j < s->gas_count; ++j) {
        if (gas_in_play(it, j) && !(s->ln_n[at(j)] > trace_floor)) {
            s->ln_n[at(j)] = restored;
            ++count;
        }
    }
    return count;
}

// sum n_j H_j/RT over the gases in the sums and the included condensed
// species, and the sum of the magnitudes of its terms.
static double enthalpy_sum(const iteration *it, double *magnitude)
{
    const equilibrium_solver *s = it->s;
    double h = 0.0;
    double size = 0.0;
    for (int q = 0; q < it->present_count; ++q) {
        int j = s->present_list[at(q)];
        double term = s->n[at(j)] * s->h_rt[at(j)];
        h += term;
        size += std::fabs(term);
    }
    for (int q = 0; q < it->included_count; ++q) {
        int c = s->included_list[at(q)];
        double term = s->condensed_n[at(c)] * s->condensed_h_rt[at(c)];
        h += term;
        size += std::fabs(term);
    }
    *magnitude = size;
    return h;
}

// Whether the state that evaluate_state last evaluated balances: every
// active element's amount in the sums (gases present, condensed included)
// within balance_tolerance of its own b0 and, with T unknown, the enthalpy
// within balance_tolerance of the larger of |h0| and the sum of the
// magnitudes of its terms (the scale of its rounding when h0 is near zero).
int balances_hold(const iteration *it)
{
    const equilibrium_solver *s = it->s;
    int ng = s->gas_count;
    int ne = s->element_count;
    for (int k = 0; k < it->active_element_count; ++k) {
        int e = s->active_elements[at(k)];
        const double *row = s->gas_atoms + at(e * ng);
        double b = 0.0;
        for (int q = 0; q < it->present_count; ++q) {
            int j = s->present_list[at(q)];
            b += row[j] * s->n[at(j)];
        }
        for (int q = 0; q < it->included_count; ++q) {
            int c = s->included_list[at(q)];
            b += s->condensed_atoms[at(c * ne + e)] * s->condensed_n[at(c)];
        }
        double b0 = s->b0[at(e)];
        if (!(std::fabs(b - b0) <= balance_tolerance * b0)) {
            return 0;
        }
    }
    if (!it->energy_row) {
        return 1;
    }
    double magnitude = 0.0;
    double h = enthalpy_sum(it, &magnitude);
    double scale = larger(std::fabs(it->h0_over_r), magnitude * it->t);
    return std::fabs(h * it->t - it->h0_over_r) <= balance_tolerance * scale;
}

double state_enthalpy_over_r(const iteration *it)
{
    double magnitude = 0.0;
    return enthalpy_sum(it, &magnitude) * it->t;
}

// Iterates to convergence with the current set of condensed species.
// mode converge_method_tests stops at the method's own tests (eqs. 3.5,
// 3.6). Otherwise (converge_to_rounding) the iteration goes on until
// Newton's corrections reach the rounding level: it ends after a full step
// no larger than finish_correction, whose error left is of the order of its
// square, or when the corrections stop shrinking, provided that the state
// reached balances (balances_hold) and that the gases in its sums are
// exactly those above the floor at that state, so that the result is the
// minimum over a set that the result itself decides (and does not depend
// on the way there). The corrections that the method tests are weighted by
// mole fraction and say little of a trace element, whose species may still
// be far from its amount; and a trace species in excess loses at most a
// factor e per Newton step (its linearised balance asks for a change of
// ln n_j of -1 at the most), so such a state takes more steps.
int converge(iteration *it, int mode)
{
    int limit = it->small_only ? small_gas_iterations : base_iterations + it->s->species_count / 2;
    int extra = 0;
    double previous = 0.0;
    int set_changes = 0;
    int restorations = 0;
    it->keep_present = 0;
    for (int k = 0; k < limit && it->iterations < max_total_iterations; ++k) {
        int loose = 0;
        double correction = 0.0;
        int step = newton_step(it, &loose, &correction);
        if (step == step_singular && restorations < max_restorations && restore_trace_gases(it) > 0) {
            ++restorations;
            extra = 0;
            continue;
        }
        if (step != step_taken) {
            return 0;
        }
        if (!loose) {
            extra = 0;
            continue;
        }
        if (mode == converge_method_tests) {
            return 1;
        }
        if (correction <= finish_correction || extra >= max_rounding_iterations ||
            (extra > 0 && correction > 0.5 * previous)) {
            if (evaluate_state(it) != 0) {
                // A gas crossed the floor in the last step: the minimum
                // over the new set is another state.
                it->keep_present = ++set_changes >= max_set_changes;
                extra = 0;
                continue;
            }
            if (balances_hold(it)) {
                it->state_evaluated = 1;
                return 1;
            }
            extra = 0;
            continue;
        }
        previous = correction;
        ++extra;
    }
    return 0;
}

} // namespace cea_impl
