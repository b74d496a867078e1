// The condensed species after each convergence (RP-1311 sections 3.4 and
// 3.5): those with a negative amount leave, a phase outside its range gives
// way to another phase of its substance, and the species that lowers the
// Gibbs energy most enters (eq. 3.7).
#include "equilibrium_iteration.h"

#include <cstddef>

namespace cea_impl {

// A condensed species enters the iteration; from now on the floor of the
// sums is XSIZE (RP-1311 section 3.2: TSIZE = XSIZE if new components occur).
static void include_condensed(iteration *it, int c)
{
    equilibrium_solver *s = it->s;
    it->state_evaluated = 0;
    it->presence_log = it->condensed_log;
    s->included[at(c)] = 1;
    s->included_list[at(it->included_count++)] = c;
}

static void exclude_condensed(iteration *it, int c)
{
    equilibrium_solver *s = it->s;
    it->state_evaluated = 0;
    s->included[at(c)] = 0;
    s->condensed_n[at(c)] = 0.0;
    int w = 0;
    for (int q = 0; q < it->included_count; ++q) {
        int k = s->included_list[at(q)];
        if (k != c) {
            s->included_list[at(w++)] = k;
        }
    }
    it->included_count = w;
}

static int condensed_in_range(const equilibrium_solver *s, int c, double t)
{
    const species_record *r = solver_species(s, s->condensed_species[at(c)]);
    const thermo_interval *in = record_intervals(r);
    return t >= in[0].t_low_k && t <= in[r->interval_count - 1].t_high_k;
}

static int group_included(const equilibrium_solver *s, int c)
{
    for (int k = 0; k < s->condensed_count; ++k) {
        if (s->included[at(k)] && s->condensed_group[at(k)] == s->condensed_group[at(c)]) {
            return 1;
        }
    }
    return 0;
}

int revise_phases(iteration *it)
{
    equilibrium_solver *s = it->s;
    for (int q = 0; q < it->included_count; ++q) {
        int c = s->included_list[at(q)];
        if (condensed_in_range(s, c, it->t)) {
            continue;
        }
        int other = -1;
        for (int k = 0; k < s->condensed_count; ++k) {
            if (k != c && s->condensed_active[at(k)] && s->condensed_group[at(k)] == s->condensed_group[at(c)] &&
                condensed_in_range(s, k, it->t)) {
                other = k;
            }
        }
        if (other < 0) {
            exclude_condensed(it, c);
            return 1;
        }
        if (s->included[at(other)]) {
            continue; // both phases present: their amounts decide
        }
        std::size_t group = at(s->condensed_group[at(c)]);
        if (s->phase_swaps[group] >= 2) {
            // Swapping back and forth: the temperature sits at the
            // transition, where both phases coexist.
            include_condensed(it, other);
            return 1;
        }
        ++s->phase_swaps[group];
        double amount = s->condensed_n[at(c)];
        exclude_condensed(it, c);
        include_condensed(it, other);
        s->condensed_n[at(other)] = amount;
        return 1;
    }
    return 0;
}

// After a convergence: drops a condensed species with a negative amount,
// changes the phase of one outside its temperature range, or adds the
// condensed species that lowers the Gibbs energy most (eq. 3.7). Returns 1
// when the set changed and the iteration must go on.
int revise_condensed(iteration *it)
{
    equilibrium_solver *s = it->s;
    int worst = -1;
    for (int q = 0; q < it->included_count; ++q) {
        int c = s->included_list[at(q)];
        if (s->condensed_n[at(c)] <= 0.0 && (worst < 0 || s->condensed_n[at(c)] < s->condensed_n[at(worst)])) {
            worst = c;
        }
    }
    if (worst >= 0) {
        exclude_condensed(it, worst);
        return 1;
    }
    // With T unknown, or held at a limit of the data, a phase may find
    // itself outside its range (section 3.5).
    if ((it->energy_row || it->held != 0) && revise_phases(it)) {
        return 1;
    }
    temperature_powers p;
    make_temperature_powers(it->t, &p);
    int best = -1;
    double best_delta = 0.0;
    int ne = s->element_count;
    for (int c = 0; c < s->condensed_count; ++c) {
        if (!s->condensed_active[at(c)] || s->included[at(c)] || !condensed_in_range(s, c, it->t) ||
            group_included(s, c)) {
            continue;
        }
        evaluate_condensed(s, c, &p);
        double delta = s->condensed_g_rt[at(c)];
        for (int i = 0; i < ne; ++i) {
            delta -= s->condensed_atoms[at(c * ne + i)] * s->pi[at(i)];
        }
        if (delta < best_delta) {
            best_delta = delta;
            best = c;
        }
    }
    if (best >= 0) {
        include_condensed(it, best);
        s->condensed_n[at(best)] = 0.0;
        return 1;
    }
    return 0;
}

} // namespace cea_impl
