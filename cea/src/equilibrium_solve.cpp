// One equilibrium solve: the arguments checked, the element amounts and
// trace floors of the reactants, then the first estimate, convergence and
// the tests for condensed phases in turn, and the result.
#include "equilibrium_iteration.h"

#include <cmath>

#include "state_properties.h"

namespace cea_impl {

// Trace species (RP-1311 section 3.2, "Magnitude of species used during
// iteration"): a gas whose mole fraction n_j/n is below e^-SIZE counts as
// n_j = 0 in every sum of the iteration (element balances, n, enthalpy, the
// matrix), while its ln n_j goes on being corrected by eq. (2.18), so that
// it comes back when it grows past the floor. The converged state is thus
// the Gibbs minimum over the gases above the floor (and the condensed
// species), which is the convention of the published method and of the
// results computed with it; the exact minimum over every gas differs from
// it by up to 1e-7 relative. SIZE is mole fraction 1e-8; once a condensed
// species has entered, the floor is XSIZE, mole fraction 1e-11, for the
// rest of the solve (the method's TSIZE = XSIZE "if new components occur").
// The step control of eq. (3.2) keeps SIZE throughout.
static const double trace_log_size = 18.420681;
static const double condensed_trace_log_size = 25.328436;
// A trace element (below trace_element_ratio of the largest element's
// amount, the method's BRATIO test, RP-1311 section 3.2) has its
// species sit far below mole fraction 1e-8, so the floors move down by the
// ratio: SIZE = ln(1000/BRATIO) and XSIZE = SIZE + ln 1000. Otherwise the
// trace element's species leave the sums, its balance goes untested and its
// row of the equations vanishes.
static const double trace_element_log_margin = 6.9077553; // ln 1000
// The smallest element amount that a solve accepts: its species' amounts
// stay normal doubles (a formula holds at most some tens of atoms), so
// that the balance can be met to 1e-10 of the amount (balances_hold).
static const double min_element_amount_kmol_kg = 1e-305;

// An HP iteration held at a limit of the data has converged there, with
// the condensed species settled: the equilibrium at that temperature. As
// the equilibrium enthalpy grows with T, the state lies beyond the limit
// when the enthalpy there is already past the assigned one (more at the
// lower limit, less at the upper); it is the state at the limit itself when
// the enthalpy balances there. Otherwise the iteration goes on with T
// unknown from this state, within the data. Returns 0 (converged at the
// limit), unconverged_below_data or unconverged_above_data, or
// unconverged_iterations when the iteration is to go on.
static int settle_at_limit(iteration *it)
{
    it->energy_row = 1;
    if (balances_hold(it)) {
        return 0;
    }
    double h = state_enthalpy_over_r(it);
    if (it->held < 0 ? h > it->h0_over_r : h < it->h0_over_r) {
        it->energy_row = 0;
        return it->held < 0 ? unconverged_below_data : unconverged_above_data;
    }
    it->held = 0;
    it->state_evaluated = 0;
    return unconverged_iterations;
}

int solve_equilibrium(equilibrium_solver *s, int type, double state1, double state2, const double amounts[],
                      const solve_start *start, equilibrium_solution *out, failure *error)
{
    out->has_result = 0;
    out->converged = 0;
    out->unconverged_reason = 0;
    if (type != CEA_TP && type != CEA_HP) {
        return fail(error, CEA_INVALID_EQUILIBRIUM_TYPE,
                    "equilibrium type %d is not provided (0 for assigned T and p, 1 for assigned h and p)", type);
    }
    if (amounts == nullptr) {
        return fail(error, CEA_INVALID_SIZE, "equilibrium: the reactant amounts array is null");
    }
    if (!std::isfinite(state1) || (type == CEA_TP && !(state1 > 0.0))) {
        return fail(error, CEA_INVALID_ARGUMENT,
                    type == CEA_TP ? "equilibrium: the temperature must be a positive number"
                                   : "equilibrium: the enthalpy must be a finite number");
    }
    if (!std::isfinite(state2) || !(state2 > 0.0)) {
        return fail(error, CEA_INVALID_ARGUMENT, "equilibrium: the pressure must be a positive number");
    }
    double amount_sum = 0.0;
    for (int r = 0; r < s->reactant_count; ++r) {
        if (!std::isfinite(amounts[r]) || amounts[r] < 0.0) {
            return fail(error, CEA_INVALID_ARGUMENT, "equilibrium: reactant amount %d must be finite and not negative",
                        r + 1);
        }
        amount_sum += amounts[r];
    }
    if (!(amount_sum > 0.0)) {
        return fail(error, CEA_INVALID_ARGUMENT, "equilibrium: the reactant amounts must not all be zero");
    }
    if (!std::isfinite(amount_sum)) {
        return fail(error, CEA_INVALID_ARGUMENT, "equilibrium: the sum of the reactant amounts is not a finite number");
    }

    // Element amounts b0_i = sum_r w_r a_ri / M_r per kilogram of reactants.
    int ne = s->element_count;
    iteration it;
    it.s = s;
    it.active_element_count = 0;
    for (int i = 0; i < ne; ++i) {
        double b = 0.0;
        for (int r = 0; r < s->reactant_count; ++r) {
            b += amounts[r] * s->reactant_atoms_per_kg[at(r * ne + i)];
        }
        b /= amount_sum;
        if (b > 0.0 && b < min_element_amount_kmol_kg) {
            return fail(error, CEA_INVALID_ARGUMENT,
                        "equilibrium: the reactant amounts give element %s only %.3g kmol/kg, too little to balance "
                        "(at least %.0e kmol/kg, or none)",
                        &s->element_symbols[at(i * element_symbol_capacity)], b, min_element_amount_kmol_kg);
        }
        s->b0[at(i)] = b;
        s->element_active[at(i)] = b > 0.0;
        s->pi[at(i)] = 0.0;
        if (b > 0.0) {
            s->active_elements[at(it.active_element_count++)] = i;
        }
    }
    double b0_max = 0.0;
    double b0_min = HUGE_VAL;
    for (int k = 0; k < it.active_element_count; ++k) {
        double b = s->b0[at(s->active_elements[at(k)])];
        b0_max = larger(b0_max, b);
        b0_min = smaller(b0_min, b);
    }
    it.b0_max = b0_max;
    it.trace_elements = it.active_element_count > 0 && b0_min < trace_element_ratio * b0_max;
    it.trace_log = trace_log_size;
    it.condensed_log = condensed_trace_log_size;
    if (it.trace_elements) {
        double ln_ratio = std::log(b0_min / b0_max);
        it.trace_log = trace_element_log_margin - ln_ratio;
        it.condensed_log = it.trace_log + trace_element_log_margin;
    }
    it.presence_log = it.trace_log;
    it.keep_present = 0;
    // The gases in play, and the temperatures where every one of them has
    // data (gas_data_range).
    int ng = s->gas_count;
    int gas_active = 0;
    for (int g = 0; g < ng; ++g) {
        int active = s->gas_usable[at(g)];
        for (int i = 0; i < ne && active; ++i) {
            if (s->gas_atoms[at(i * ng + g)] != 0.0 && !s->element_active[at(i)]) {
                active = 0;
            }
        }
        s->gas_active[at(g)] = active;
        s->present[at(g)] = 0;
        gas_active += active;
    }
    // With every element present the gases in play are the usable ones,
    // whose range the solver knows.
    double data_low_k = s->data_low_k;
    double data_high_k = s->data_high_k;
    if (it.active_element_count < ne) {
        gas_data_range(s, s->gas_active, &data_low_k, &data_high_k);
    }
    if (gas_active > 0) {
        if (type == CEA_TP && !(state1 >= data_low_k && state1 <= data_high_k)) {
            return fail(error, CEA_TEMPERATURE_RANGE,
                        "equilibrium: the temperature %.6g K lies outside the data of the products (%.6g K to %.6g K)",
                        state1, data_low_k, data_high_k);
        }
    }
    for (int c = 0; c < s->condensed_count; ++c) {
        int active = s->condensed_usable[at(c)];
        for (int i = 0; i < ne && active; ++i) {
            if (s->condensed_atoms[at(c * ne + i)] != 0.0 && !s->element_active[at(i)]) {
                active = 0;
            }
        }
        s->condensed_active[at(c)] = active;
        s->included[at(c)] = 0;
        s->phase_swaps[at(c)] = 0;
        s->condensed_n[at(c)] = 0.0;
    }

    it.energy_row = type == CEA_HP;
    it.h0_over_r = type == CEA_HP ? state1 : 0.0;
    it.ln_p = std::log(state2);
    it.t = type == CEA_HP ? initial_temperature_k : state1;
    if (start != nullptr && type == CEA_HP) {
        it.t = start->t_k;
    }
    it.ln_t = std::log(it.t);
    it.included_count = 0;
    it.iterations = 0;
    it.present_count = 0;
    it.small_only = 0;
    it.temperature_clamped = 0;
    it.t_low_k = larger(data_low_k, min_iteration_temperature_k);
    it.t_high_k = smaller(data_high_k, max_iteration_temperature_k);
    it.ln_t_low = std::log(it.t_low_k);
    it.ln_t_high = std::log(it.t_high_k);
    it.held = 0;
    it.state_evaluated = 0;
    double n_start = start != nullptr ? start->n_total : initial_gas_moles_kmol_kg;
    it.ln_n_total = std::log(n_start);
    if (gas_active == 0 || it.active_element_count == 0) {
        record_result(&it, unconverged_iterations, data_low_k, data_high_k, out);
        return CEA_OK;
    }
    int estimated = 0;
    if (start == nullptr || !start->skip_first_estimate) {
        estimated = small_gas_estimate(&it, n_start);
    }
    int reason = unconverged_iterations;
    for (int attempt = estimated ? 0 : 1; attempt < 2 && reason == unconverged_iterations; ++attempt) {
        if (attempt == 1) {
            // The published start: every gas alike, no condensed species.
            for (int c = 0; c < s->condensed_count; ++c) {
                s->included[at(c)] = 0;
                s->phase_swaps[at(c)] = 0;
                s->condensed_n[at(c)] = 0.0;
            }
            it.included_count = 0;
            it.presence_log = it.trace_log;
            it.t = type == CEA_HP ? (start != nullptr ? start->t_k : initial_temperature_k) : state1;
            it.ln_t = std::log(it.t);
            it.energy_row = type == CEA_HP;
            it.held = 0;
            spread_gas_estimate(&it, n_start);
        }
        int max_revisions = 4 * s->condensed_count + 10;
        for (int pass = 0; pass <= max_revisions; ++pass) {
            if (!converge(&it, converge_to_rounding)) {
                // An HP iteration that carries a condensed phase far past
                // its range, on fits that mean nothing there, need not
                // converge: the phase that covers T is tried instead.
                if (it.energy_row && revise_phases(&it)) {
                    continue;
                }
                break;
            }
            if (revise_condensed(&it)) {
                continue;
            }
            if (it.held == 0) {
                reason = 0;
                break;
            }
            reason = settle_at_limit(&it);
            if (reason != unconverged_iterations) {
                break;
            }
        }
    }
    record_result(&it, reason, data_low_k, data_high_k, out);
    out->assigned_h_over_r = it.h0_over_r;
    if (out->converged) {
        int property = unrepresentable_property(out);
        if (property >= 0) {
            // At an extreme pressure a balanced state may still have no
            // finite volume or density (1.8e308 bar gives a volume of 0).
            out->has_result = 0;
            out->converged = 0;
            return fail(error, CEA_INVALID_ARGUMENT,
                        "equilibrium: at %.6g bar the state cannot be represented (its %s is not a finite number): "
                        "the pressure is out of range",
                        state2, state_property_name(property));
        }
    }
    return CEA_OK;
}

} // namespace cea_impl
