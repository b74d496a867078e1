// The reduced Gibbs iteration equations of Newton's method (RP-1311
// eqs. 2.24 to 2.27, table 2.1) at the current state.
#include "equilibrium_iteration.h"

#include <cmath>
#include <cstddef>

namespace cea_impl {

// The gas sums of the element rows, the amount row and the energy row, for
// any number of elements.
static void accumulate_gases(iteration *it, double *a, int w, int col_n, int col_t, int m, gas_sums *sums)
{
    equilibrium_solver *s = it->s;
    int le = it->active_element_count;
    int ng = s->gas_count;
    const int *ae = s->active_elements;
    const double *atoms = s->gas_atoms;
    double *b = s->b_current;
    gas_sums g = *sums;
    for (int q = 0; q < it->present_count; ++q) {
        int j = s->present_list[at(q)];
        double nj = s->n[at(j)];
        double h = s->h_rt[at(j)];
        double mu = s->mu[at(j)];
        g.n += nj;
        g.nh += nj * h;
        g.nh2 += nj * h * h;
        g.nmu += nj * mu;
        g.nhmu += nj * h * mu;
        g.ncp += nj * s->cp_r[at(j)];
        for (int k = 0; k < le; ++k) {
            double akj = atoms[at(ae[k] * ng + j)];
            if (akj == 0.0) {
                continue;
            }
            double x = akj * nj;
            double *row = a + static_cast<std::ptrdiff_t>(k) * w;
            for (int i = k; i < le; ++i) {
                row[i] += x * atoms[at(ae[i] * ng + j)];
            }
            row[col_n] += x;
            if (col_t < m) {
                row[col_t] += x * h;
            }
            row[m] += x * mu;
            b[k] += x;
        }
    }
    *sums = g;
}

// The same for a few elements, with every sum in a local variable so that
// the loop over the gases runs from registers rather than through memory.
template <int le>
static void accumulate_gases_small(iteration *it, double *a, int w, int col_n, int col_t, int m, gas_sums *sums)
{
    equilibrium_solver *s = it->s;
    std::size_t ng = at(s->gas_count);
    const double *rows[le];
    for (int k = 0; k < le; ++k) {
        rows[k] = s->gas_atoms + at(s->active_elements[at(k)]) * ng;
    }
    double aa[le][le] = {};
    double an[le] = {};
    double anh[le] = {};
    double anmu[le] = {};
    gas_sums g = *sums;
    const int *list = s->present_list;
    const double *n = s->n;
    const double *h_rt = s->h_rt;
    const double *mu_rt = s->mu;
    const double *cp_r = s->cp_r;
    for (int q = 0; q < it->present_count; ++q) {
        std::size_t j = at(list[q]);
        double nj = n[j];
        double h = h_rt[j];
        double mu = mu_rt[j];
        double nh = nj * h;
        g.n += nj;
        g.nh += nh;
        g.nh2 += nh * h;
        g.nmu += nj * mu;
        g.nhmu += nh * mu;
        g.ncp += nj * cp_r[j];
        double x[le];
        for (int k = 0; k < le; ++k) {
            x[k] = rows[k][j] * nj;
        }
        for (int k = 0; k < le; ++k) {
            for (int i = k; i < le; ++i) {
                aa[k][i] += x[k] * rows[i][j];
            }
            an[k] += x[k];
            anh[k] += x[k] * h;
            anmu[k] += x[k] * mu;
        }
    }
    double *b = s->b_current;
    for (int k = 0; k < le; ++k) {
        double *row = a + static_cast<std::ptrdiff_t>(k) * w;
        for (int i = k; i < le; ++i) {
            row[i] = aa[k][i];
        }
        row[col_n] = an[k];
        if (col_t < m) {
            row[col_t] = anh[k];
        }
        row[m] = anmu[k];
        b[k] = an[k];
    }
    *sums = g;
}

// The reduced Gibbs iteration equations (RP-1311 eqs. 2.24 to 2.27, table
// 2.1), the rows in this order: one per active element (eq. 2.24), one per
// included condensed species (eq. 2.25), the amount row (eq. 2.26) and, for
// HP, the energy row (eq. 2.27). Unknowns in the same order: pi_i, Delta n_c,
// Delta ln n and Delta ln T. Every sum over gases runs over those in the
// sums (RP-1311 section 3.2). Returns the number of unknowns.
int assemble(iteration *it, double *a, gas_sums *sums)
{
    equilibrium_solver *s = it->s;
    int le = it->active_element_count;
    int nc = it->included_count;
    int col_n = le + nc;
    int col_t = col_n + 1;
    int m = col_n + 1 + (it->energy_row ? 1 : 0);
    int w = m + 1;
    for (int k = 0; k < m * w; ++k) {
        a[k] = 0.0;
    }
    gas_sums g = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    double *b = s->b_current;
    for (int k = 0; k < le; ++k) {
        b[k] = 0.0;
    }
    const int *ae = s->active_elements;
    // Element rows, eq. (2.24): the gas sums sum_j a_kj a_ij n_j on pi_i,
    // sum_j a_kj n_j on Delta ln n, sum_j a_kj n_j H_j/RT on Delta ln T and
    // sum_j a_kj n_j mu_j/RT on the right, with the gas part b_k of the
    // element's amount.
    switch (le) {
    case 1: accumulate_gases_small<1>(it, a, w, col_n, col_t, m, &g); break;
    case 2: accumulate_gases_small<2>(it, a, w, col_n, col_t, m, &g); break;
    case 3: accumulate_gases_small<3>(it, a, w, col_n, col_t, m, &g); break;
    case 4: accumulate_gases_small<4>(it, a, w, col_n, col_t, m, &g); break;
    default: accumulate_gases(it, a, w, col_n, col_t, m, &g); break;
    }
    g.nh_all = g.nh;
    int ne = s->element_count;
    // Condensed rows, eq. (2.25): sum_i a_ic pi_i + H_c/RT Delta ln T =
    // mu_c/RT (= g_c/RT, a pure phase). Their columns in the element rows
    // (a_kc on Delta n_c) and the energy row (H_c/RT) are the same numbers.
    for (int q = 0; q < nc; ++q) {
        int c = s->included_list[at(q)];
        double nj = s->condensed_n[at(c)];
        double h = s->condensed_h_rt[at(c)];
        double *row = a + static_cast<std::ptrdiff_t>(le + q) * w;
        for (int k = 0; k < le; ++k) {
            double akj = s->condensed_atoms[at(c * ne + ae[k])];
            a[k * w + le + q] = akj;
            row[k] = akj;
            b[k] += akj * nj;
        }
        if (it->energy_row) {
            row[col_t] = h;
            a[col_t * w + le + q] = h;
        }
        row[m] = s->condensed_g_rt[at(c)];
        g.ncp += nj * s->condensed_cp_r[at(c)];
        g.nh_all += nj * h;
    }
    // The element rows are symmetric in pi; their right side adds
    // b0_k - b_k (eq. 2.24).
    for (int k = 0; k < le; ++k) {
        for (int i = 0; i < k; ++i) {
            a[k * w + i] = a[i * w + k];
        }
        a[k * w + m] += s->b0[at(ae[k])] - b[k];
    }
    // Amount row, eq. (2.26): sum_i (sum_j a_ij n_j) pi_i + (sum_j n_j - n)
    // Delta ln n + (sum_j n_j H_j/RT) Delta ln T = n - sum_j n_j +
    // sum_j n_j mu_j/RT.
    double n_total = std::exp(it->ln_n_total);
    double *row_n = a + static_cast<std::ptrdiff_t>(col_n) * w;
    for (int k = 0; k < le; ++k) {
        row_n[k] = a[k * w + col_n];
    }
    row_n[col_n] = g.n - n_total;
    if (it->energy_row) {
        row_n[col_t] = g.nh;
    }
    row_n[m] = n_total - g.n + g.nmu;
    // Energy row, eq. (2.27): sum_i (sum_j a_ij n_j H_j/RT) pi_i +
    // sum_c H_c/RT Delta n_c + (sum_j n_j H_j/RT) Delta ln n +
    // (sum_j n_j Cp_j/R + sum_j n_j (H_j/RT)^2) Delta ln T =
    // (h0 - h)/RT + sum_j n_j H_j/RT mu_j/RT, where Cp sums every phase and
    // h/RT = sum n_j H_j/RT over the gases and the condensed species.
    if (it->energy_row) {
        double *row_t = a + static_cast<std::ptrdiff_t>(col_t) * w;
        for (int k = 0; k < le; ++k) {
            row_t[k] = a[k * w + col_t];
        }
        row_t[col_n] = g.nh;
        row_t[col_t] = g.ncp + g.nh2;
        row_t[m] = it->h0_over_r / it->t - g.nh_all + g.nhmu;
    }
    *sums = g;
    return m;
}

} // namespace cea_impl
