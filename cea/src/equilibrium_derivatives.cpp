// Derivatives of a converged state: the equilibrium heat capacity
// (eq. 2.59) and the derivatives of the volume (eqs. 2.50, 2.51).
#include "equilibrium_iteration.h"

#include <cmath>

namespace cea_impl {

// Derivatives of the equilibrium composition with respect to ln T at
// constant p and to ln p at constant T (RP-1311 tables 2.3 and 2.4), for the
// equilibrium heat capacity and the isentropic exponent. Both systems have
// the matrix of the TP iteration (eqs. 2.24 to 2.26) with the amount row's
// sum_j n_j - n, zero at equilibrium, dropped; only the right sides differ.
int equilibrium_derivatives(iteration *it, equilibrium_solution *out)
{
    equilibrium_solver *s = it->s;
    int saved_energy_row = it->energy_row;
    it->energy_row = 0;
    gas_sums g;
    double *a = s->matrix;
    double *x = s->unknowns;
    int le = it->active_element_count;
    int nc = it->included_count;
    int ng = s->gas_count;
    double dlnn_dlnt = 0.0;
    double dlnn_dlnp = 0.0;
    double cp_reaction = 0.0;
    int ok = 1;
    for (int pass = 0; pass < 2 && ok; ++pass) {
        int m = assemble(it, a, &g);
        int w = m + 1;
        a[(m - 1) * w + (m - 1)] = 0.0; // sum n_j - n vanishes at equilibrium
        // Element rows: -sum_j a_kj n_j H_j/RT (eq. 2.56) or sum_j a_kj n_j
        // (eq. 2.64).
        for (int k = 0; k < le; ++k) {
            const double *row = s->gas_atoms + at(s->active_elements[at(k)] * ng);
            double rhs = 0.0;
            for (int j = 0; j < ng; ++j) {
                if (s->present[at(j)]) {
                    double an = row[j] * s->n[at(j)];
                    rhs += pass == 0 ? -an * s->h_rt[at(j)] : an;
                }
            }
            a[k * w + m] = rhs;
        }
        // Condensed rows: -H_c/RT (eq. 2.57) or 0 (eq. 2.65); the amount
        // row: -sum_j n_j H_j/RT (eq. 2.58) or sum_j n_j (eq. 2.66).
        for (int q = 0; q < nc; ++q) {
            a[(le + q) * w + m] = pass == 0 ? -s->condensed_h_rt[at(s->included_list[at(q)])] : 0.0;
        }
        a[(m - 1) * w + m] = pass == 0 ? -g.nh : g.n;
        if (!solve_linear(a, m, x)) {
            ok = 0;
            break;
        }
        if (pass == 0) {
            // The reaction share of cp/R, eq. (2.59), with the coefficients
            // of the energy row (eq. 2.27).
            dlnn_dlnt = x[m - 1];
            for (int k = 0; k < le; ++k) {
                const double *row = s->gas_atoms + at(s->active_elements[at(k)] * ng);
                double sum = 0.0;
                for (int j = 0; j < ng; ++j) {
                    if (s->present[at(j)]) {
                        sum += row[j] * s->n[at(j)] * s->h_rt[at(j)];
                    }
                }
                cp_reaction += sum * x[k];
            }
            for (int q = 0; q < nc; ++q) {
                cp_reaction += s->condensed_h_rt[at(s->included_list[at(q)])] * x[le + q];
            }
            cp_reaction += g.nh * dlnn_dlnt + g.nh2;
        } else {
            dlnn_dlnp = x[m - 1];
        }
    }
    it->energy_row = saved_energy_row;
    if (!ok) {
        return 0;
    }
    // Frozen plus reaction share (eq. 2.59); eqs. (2.50) and (2.51).
    out->cp_equilibrium_over_r = g.ncp + cp_reaction;
    out->dlnv_dlnt = 1.0 + dlnn_dlnt;
    out->dlnv_dlnp = -1.0 + dlnn_dlnp;
    return std::isfinite(out->cp_equilibrium_over_r) && std::isfinite(out->dlnv_dlnt) &&
           std::isfinite(out->dlnv_dlnp) && out->dlnv_dlnp < 0.0;
}

} // namespace cea_impl
