// The starting points of a solve: every gas alike (RP-1311 section 3.1), or
// the cheaper estimate from the equilibrium among the small gases.
#include "equilibrium_iteration.h"

#include <cmath>

namespace cea_impl {

// Largest mole fraction (as its logarithm, ln 0.01) at which another gas
// enters after that estimate.
static const double expanded_log_fraction_cap = -4.605170185988091;

// Every gas in play at an equal share of the gas moles; a gas that holds a
// trace element at that share scaled by the element's ratio to the largest
// amount. An equal share would put such a gas many orders of magnitude
// above its element's amount, and Newton's steps bring an excess down by
// no more than a factor e each.
void spread_gas_estimate(iteration *it, double n_start)
{
    equilibrium_solver *s = it->s;
    int count = 0;
    for (int g = 0; g < s->gas_count; ++g) {
        count += gas_in_play(it, g);
    }
    int ng = s->gas_count;
    double ln_each = std::log(n_start / (count > 0 ? count : 1));
    for (int g = 0; g < ng; ++g) {
        s->ln_n[at(g)] = gas_in_play(it, g) ? ln_each : 0.0;
    }
    if (it->trace_elements) {
        for (int k = 0; k < it->active_element_count; ++k) {
            int e = s->active_elements[at(k)];
            double ratio = s->b0[at(e)] / it->b0_max;
            if (!(ratio < trace_element_ratio)) {
                continue;
            }
            double ln_ratio = std::log(ratio);
            const double *row = s->gas_atoms + at(e * ng);
            for (int g = 0; g < ng; ++g) {
                if (gas_in_play(it, g) && row[g] != 0.0) {
                    s->ln_n[at(g)] = smaller(s->ln_n[at(g)], ln_each + ln_ratio);
                }
            }
        }
    }
    it->ln_n_total = std::log(n_start);
}

// The first estimate: the equilibrium among the gases of at most three
// atoms, to the method's tests. The other gases then start at the amounts
// that its element potentials give them (mu_j/RT = sum_i a_ij pi_i), which
// puts the full iteration close to its answer for a fraction of the work
// of starting every gas alike. 0 when the small gases do not cover every
// element or do not converge; the caller then starts all gases alike.
int small_gas_estimate(iteration *it, double n_start)
{
    equilibrium_solver *s = it->s;
    int ng = s->gas_count;
    for (int k = 0; k < it->active_element_count; ++k) {
        const double *row = s->gas_atoms + at(s->active_elements[at(k)] * ng);
        int covered = 0;
        for (int g = 0; g < ng && !covered; ++g) {
            covered = s->gas_active[at(g)] && s->gas_small[at(g)] && row[g] != 0.0;
        }
        if (!covered) {
            return 0;
        }
    }
    it->small_only = 1;
    it->temperature_clamped = 0;
    spread_gas_estimate(it, n_start);
    int converged = converge(it, converge_method_tests);
    it->small_only = 0;
    if (!converged || it->temperature_clamped) {
        return 0;
    }
    evaluate_state(it);
    double ln_p_over_n = it->ln_p - it->ln_n_total;
    for (int g = 0; g < ng; ++g) {
        if (!s->gas_active[at(g)] || s->gas_small[at(g)]) {
            continue;
        }
        double sum = 0.0;
        for (int k = 0; k < it->active_element_count; ++k) {
            int e = s->active_elements[at(k)];
            sum += s->gas_atoms[at(e * ng + g)] * s->pi[at(e)];
        }
        // A gas the small ones cannot stand for may come out far too
        // abundant; it starts at no more than a modest share instead and
        // the full iteration takes it from there.
        s->ln_n[at(g)] = smaller(sum - s->g_rt[at(g)] - ln_p_over_n, it->ln_n_total + expanded_log_fraction_cap);
    }
    return 1;
}

} // namespace cea_impl
