// The functions of the species at the iteration's temperature: the gases'
// coefficients are held as a table of the loaded intervals (one row per
// term, one column per gas) and evaluated as straight loops; then the
// amounts from their logarithms, the chemical potentials, and which gases
// stand in the sums.
#include "equilibrium_iteration.h"

#include <cmath>

namespace cea_impl {

// g/RT = H/RT - S/R of one interval on the terms
// T^-2, ln(T)/T, 1, T, T^2, T^3, T^4, 1/T, ln T.
static void gibbs_coefficients(const compact_interval *c, double *g)
{
    g[0] = c->h[0] - c->s[0];
    g[1] = c->h[1];
    g[2] = c->h[2] - c->s[7];
    g[3] = c->h[3] - c->s[3];
    g[4] = c->h[4] - c->s[4];
    g[5] = c->h[5] - c->s[5];
    g[6] = c->h[6] - c->s[6];
    g[7] = c->h[7] - c->s[1];
    g[8] = -c->s[2];
}

// Loads the interval of gas g that serves temperature t into the
// coefficient table, with the range over which it keeps serving.
void load_gas_interval(equilibrium_solver *s, int g, double t)
{
    const species_record *record = solver_species(s, s->gas_species[at(g)]);
    const thermo_interval *first = record_intervals(record);
    int count = record->interval_count;
    const thermo_interval *in = select_interval(first, count, t);
    int index = static_cast<int>(in - first);
    compact_interval c;
    compact_interval_of(in, &c);
    std::size_t gas_count = at(s->gas_count);
    double *table = s->gas_coefficients;
    double g_coefficients[gibbs_terms];
    gibbs_coefficients(&c, g_coefficients);
    for (int k = 0; k < gibbs_terms; ++k) {
        table[at(k) * gas_count + at(g)] = g_coefficients[k];
    }
    for (int k = 0; k < enthalpy_terms; ++k) {
        table[at(gibbs_terms + k) * gas_count + at(g)] = c.h[k];
    }
    for (int k = 0; k < heat_capacity_terms; ++k) {
        table[at(gibbs_terms + enthalpy_terms + k) * gas_count + at(g)] = c.cp[k];
    }
    s->gas_valid_low[at(g)] = index == 0 ? -HUGE_VAL : first[index - 1].t_high_k;
    s->gas_valid_high[at(g)] = index == count - 1 ? HUGE_VAL : in->t_high_k;
}

// The temperatures where every gas that `in_play` marks has data (0 to 0
// when it marks none). Beyond its last interval a fit is a polynomial that
// means nothing: at 20000 K ozone, whose data end at 6000 K, would take up
// all the oxygen and the frozen cp would come out at 680 kJ/(kg K). (For
// C-H-O products: 200 K to 6000 K; a few gases reach 20000 K.)
void gas_data_range(const equilibrium_solver *s, const int *in_play, double *low_k, double *high_k)
{
    double low = 0.0;
    double high = HUGE_VAL;
    int count = 0;
    for (int g = 0; g < s->gas_count; ++g) {
        if (in_play[g]) {
            low = larger(low, s->gas_data_low[at(g)]);
            high = smaller(high, s->gas_data_high[at(g)]);
            ++count;
        }
    }
    *low_k = low;
    *high_k = count > 0 ? high : 0.0;
}

void evaluate_condensed(equilibrium_solver *s, int c, const temperature_powers *p)
{
    species_functions f;
    evaluate_species(solver_species(s, s->condensed_species[at(c)]), p, &f);
    s->condensed_cp_r[at(c)] = f.cp_r;
    s->condensed_h_rt[at(c)] = f.h_rt;
    s->condensed_s_r[at(c)] = f.s_r;
    s->condensed_g_rt[at(c)] = f.h_rt - f.s_r;
}

// g/RT and H/RT of the first ng gases from the coefficient table, as one
// straight loop that the compiler can vectorise.
static void gas_functions(const double *table, std::size_t stride, int ng, const temperature_powers *powers,
                          double *g_rt, double *h_rt)
{
    const temperature_powers p = *powers;
    double t = p.t;
    const double *c0 = table;
    const double *c1 = c0 + stride;
    const double *c2 = c1 + stride;
    const double *c3 = c2 + stride;
    const double *c4 = c3 + stride;
    const double *c5 = c4 + stride;
    const double *c6 = c5 + stride;
    const double *c7 = c6 + stride;
    const double *c8 = c7 + stride;
    const double *d0 = c8 + stride;
    const double *d1 = d0 + stride;
    const double *d2 = d1 + stride;
    const double *d3 = d2 + stride;
    const double *d4 = d3 + stride;
    const double *d5 = d4 + stride;
    const double *d6 = d5 + stride;
    const double *d7 = d6 + stride;
    for (int g = 0; g < ng; ++g) {
        g_rt[g] = c0[g] * p.inv_t2 + c1[g] * p.ln_t_over_t + c2[g] + c3[g] * t + c4[g] * p.t2 + c5[g] * p.t3 +
                  c6[g] * p.t4 + c7[g] * p.inv_t + c8[g] * p.ln_t;
        h_rt[g] = d0[g] * p.inv_t2 + d1[g] * p.ln_t_over_t + d2[g] + d3[g] * t + d4[g] * p.t2 + d5[g] * p.t3 +
                  d6[g] * p.t4 + d7[g] * p.inv_t;
    }
}

// Cp/R of gas g, whose interval for the temperature is loaded.
double gas_heat_capacity(const equilibrium_solver *s, int g, const temperature_powers *p)
{
    std::size_t stride = at(s->gas_count);
    const double *c = s->gas_coefficients + at(gibbs_terms + enthalpy_terms) * stride + at(g);
    return c[0] * p->inv_t2 + c[stride] * p->inv_t + c[2 * stride] + c[3 * stride] * p->t + c[4 * stride] * p->t2 +
           c[5 * stride] * p->t3 + c[6 * stride] * p->t4;
}

// Functions of every gas at the current T (as straight loops over the
// coefficient table), amounts from their logarithms, and the dimensionless
// chemical potentials mu_j/RT; then the included condensed species. The
// gases in the sums are those above the floor in force (RP-1311 section
// 3.2); the others get n_j = 0 but keep mu_j for their corrections.
// Returns how many gases entered or left the sums.
int evaluate_state(iteration *it)
{
    equilibrium_solver *s = it->s;
    double t = it->t;
    int ng = gas_columns(it);
    for (int g = 0; g < ng; ++g) {
        if (t <= s->gas_valid_low[at(g)] || t > s->gas_valid_high[at(g)]) {
            load_gas_interval(s, g, t);
        }
    }
    temperature_powers p;
    make_temperature_powers(t, &p);
    const double *table = s->gas_coefficients;
    std::size_t stride = at(s->gas_count);
    double *g_rt = s->g_rt;
    double *h_rt = s->h_rt;
    gas_functions(table, stride, ng, &p, g_rt, h_rt);
    double ln_p_over_n = it->ln_p - it->ln_n_total;
    double trace_floor = it->ln_n_total - it->presence_log;
    int present_count = 0;
    int changes = 0;
    for (int g = 0; g < ng; ++g) {
        double ln_nj = s->ln_n[at(g)];
        s->mu[at(g)] = g_rt[g] + ln_nj + ln_p_over_n;
        int in_sums = s->gas_active[at(g)] && (ln_nj > trace_floor || (it->keep_present && s->present[at(g)]));
        changes += in_sums != s->present[at(g)];
        s->present[at(g)] = in_sums;
        if (in_sums) {
            s->present_list[at(present_count++)] = g;
            s->n[at(g)] = std::exp(ln_nj);
            s->cp_r[at(g)] = gas_heat_capacity(s, g, &p);
        } else {
            s->n[at(g)] = 0.0;
        }
    }
    for (int g = ng; g < s->gas_count; ++g) {
        changes += s->present[at(g)];
        s->present[at(g)] = 0;
        s->n[at(g)] = 0.0;
    }
    it->present_count = present_count;
    for (int c = 0; c < it->included_count; ++c) {
        evaluate_condensed(s, s->included_list[at(c)], &p);
    }
    return changes;
}

} // namespace cea_impl
