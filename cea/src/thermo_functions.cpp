#include "thermo_functions.h"

#include <cmath>

namespace cea_impl {

void make_temperature_powers(double t, temperature_powers *powers)
{
    powers->t = t;
    powers->inv_t = 1.0 / t;
    powers->inv_t2 = powers->inv_t * powers->inv_t;
    powers->ln_t = std::log(t);
    powers->ln_t_over_t = powers->ln_t * powers->inv_t;
    powers->t2 = t * t;
    powers->t3 = powers->t2 * t;
    powers->t4 = powers->t2 * powers->t2;
}

void compact_interval_of(const thermo_interval *in, compact_interval *c)
{
    const double *a = in->a;
    c->t_high_k = in->t_high_k;
    for (int k = 0; k < 7; ++k) {
        c->cp[k] = a[k];
    }
    c->h[0] = -a[0];
    c->h[1] = a[1];
    c->h[2] = a[2];
    c->h[3] = a[3] / 2.0;
    c->h[4] = a[4] / 3.0;
    c->h[5] = a[5] / 4.0;
    c->h[6] = a[6] / 5.0;
    c->h[7] = in->b[0];
    c->s[0] = -a[0] / 2.0;
    c->s[1] = -a[1];
    c->s[2] = a[2];
    c->s[3] = a[3];
    c->s[4] = a[4] / 2.0;
    c->s[5] = a[5] / 3.0;
    c->s[6] = a[6] / 4.0;
    c->s[7] = in->b[1];
}

const thermo_interval *select_interval(const thermo_interval *intervals, int count, double t)
{
    int last = count - 1;
    for (int i = 0; i < last; ++i) {
        if (t <= intervals[i].t_high_k) {
            return intervals + i;
        }
    }
    return intervals + last;
}

void evaluate_interval(const compact_interval *c, const temperature_powers *p, species_functions *out)
{
    out->cp_r = c->cp[0] * p->inv_t2 + c->cp[1] * p->inv_t + c->cp[2] + c->cp[3] * p->t + c->cp[4] * p->t2 +
                c->cp[5] * p->t3 + c->cp[6] * p->t4;
    out->h_rt = c->h[0] * p->inv_t2 + c->h[1] * p->ln_t_over_t + c->h[2] + c->h[3] * p->t + c->h[4] * p->t2 +
                c->h[5] * p->t3 + c->h[6] * p->t4 + c->h[7] * p->inv_t;
    out->s_r = c->s[0] * p->inv_t2 + c->s[1] * p->inv_t + c->s[2] * p->ln_t + c->s[3] * p->t + c->s[4] * p->t2 +
               c->s[5] * p->t3 + c->s[6] * p->t4 + c->s[7];
}

void evaluate_species(const species_record *record, const temperature_powers *powers, species_functions *out)
{
    compact_interval c;
    compact_interval_of(select_interval(record_intervals(record), record->interval_count, powers->t), &c);
    evaluate_interval(&c, powers, out);
}

} // namespace cea_impl
