// The result of a solve: the amounts, sums and properties of the state
// reached, and whether it is an answer.
#include "equilibrium_iteration.h"

#include <cmath>
#include <cstdio>

#include "physical_constants.h"

namespace cea_impl {

// The trace gases still count in the frozen heat capacity, at their
// equilibrium amounts. Below mole fraction 1e-25 a gas changes that sum by
// less than 1e-22 of itself even a hundred times over, far below its
// rounding, so it is left out and its exponential saved.
static const double negligible_log_size = 57.564627;

// sum n_j Cp_j/R over the trace gases, those below the floor that the sums
// of the iteration leave out. They hold no atoms in the balances and no
// moles in n, but the frozen heat capacity counts every gas, the trace ones
// at their equilibrium amounts n_j = e^(ln n_j), with ln n_j as eq. (2.18)
// left it at the converged state (the convention of the reference results,
// whose frozen cp and gamma it matches).
static double trace_heat_capacity(const iteration *it)
{
    const equilibrium_solver *s = it->s;
    temperature_powers p;
    make_temperature_powers(it->t, &p);
    double negligible_floor = it->ln_n_total - negligible_log_size;
    double cp = 0.0;
    for (int g = 0; g < s->gas_count; ++g) {
        double ln_nj = s->ln_n[at(g)];
        if (s->present[at(g)] || !s->gas_active[at(g)] || !(ln_nj > negligible_floor)) {
            continue;
        }
        cp += std::exp(ln_nj) * gas_heat_capacity(s, g, &p);
    }
    return cp;
}

// The state reached, converged only when it balances (balances_hold) and
// lies within the data of the gases.
void record_result(iteration *it, int reason, double data_low_k, double data_high_k, equilibrium_solution *out)
{
    equilibrium_solver *s = it->s;
    if (!it->state_evaluated) {
        it->small_only = 0;
        evaluate_state(it);
    }
    int converged = reason == 0;
    // A state that converge evaluated has passed balances_hold there.
    if (converged && !it->state_evaluated && !balances_hold(it)) {
        reason = unconverged_balance;
    } else if (converged && !(it->t >= data_low_k && it->t <= data_high_k)) {
        // The fits are polynomials that mean nothing outside their
        // intervals (a negative heat capacity at 104 K): a state there is
        // no answer. Only an HP solve gets here; a TP solve is refused.
        reason = unconverged_temperature;
    }
    converged = reason == 0;
    double n_gas = 0.0;
    double n_condensed = 0.0;
    double h = 0.0;
    double cp = 0.0;
    double entropy = 0.0;
    for (int j = 0; j < s->species_count; ++j) {
        out->moles[at(j)] = 0.0;
    }
    int ng = s->gas_count;
    for (int g = 0; g < ng; ++g) {
        if (s->present[at(g)]) {
            n_gas += s->n[at(g)];
        }
    }
    double ln_n_gas = std::log(n_gas);
    for (int g = 0; g < ng; ++g) {
        double nj = s->n[at(g)];
        if (!s->present[at(g)] || nj == 0.0) {
            continue;
        }
        out->moles[at(s->gas_species[at(g)])] = nj;
        h += nj * s->h_rt[at(g)];
        cp += nj * s->cp_r[at(g)];
        entropy += nj * (s->h_rt[at(g)] - s->g_rt[at(g)] - (s->ln_n[at(g)] - ln_n_gas) - it->ln_p);
    }
    cp += trace_heat_capacity(it);
    for (int q = 0; q < it->included_count; ++q) {
        int c = s->included_list[at(q)];
        double nj = s->condensed_n[at(c)];
        out->moles[at(s->condensed_species[at(c)])] = nj;
        n_condensed += nj;
        h += nj * s->condensed_h_rt[at(c)];
        cp += nj * s->condensed_cp_r[at(c)];
        entropy += nj * s->condensed_s_r[at(c)];
    }
    out->has_result = 1;
    out->converged = converged;
    out->unconverged_reason = reason;
    out->data_low_k = data_low_k;
    out->data_high_k = data_high_k;
    out->iterations = it->iterations;
    out->t_k = it->t;
    out->p_bar = std::exp(it->ln_p);
    out->n_gas = n_gas;
    out->n_total = n_gas + n_condensed;
    out->h_over_r = h * it->t;
    out->cp_frozen_over_r = cp;
    out->s_over_r = entropy;
    out->trace_log_fraction = -it->presence_log;
    for (int i = 0; i < s->element_count; ++i) {
        out->element_potentials[at(i)] = s->pi[at(i)];
    }
    out->derivatives_valid = converged ? equilibrium_derivatives(it, out) : 0;
}

void describe_unconverged(const equilibrium_solution *s, char *text, std::size_t size)
{
    const double kj_kg_per_over_r = gas_constant_j_kmol_k / joules_per_kilojoule;
    text[0] = '\0';
    switch (s->unconverged_reason) {
    case unconverged_balance: std::snprintf(text, size, ": its element or enthalpy balance was not met"); break;
    case unconverged_temperature:
        std::snprintf(text, size, ": it settled at %.6g K, outside the data of the products (%.6g K to %.6g K)", s->t_k,
                      s->data_low_k, s->data_high_k);
        break;
    case unconverged_below_data:
    case unconverged_above_data: {
        int below = s->unconverged_reason == unconverged_below_data;
        std::snprintf(text, size,
                      ": the assigned enthalpy, %.6g kJ/kg, is %s that of the equilibrium products at %.6g K, the %s "
                      "limit of their data (%.6g kJ/kg), so the state lies %s %.6g K, outside the data of the "
                      "products (%.6g K to %.6g K)",
                      s->assigned_h_over_r * kj_kg_per_over_r, below ? "below" : "above", s->t_k,
                      below ? "lower" : "upper", s->h_over_r * kj_kg_per_over_r, below ? "below" : "above", s->t_k,
                      s->data_low_k, s->data_high_k);
        break;
    }
    default: break;
    }
}

} // namespace cea_impl
