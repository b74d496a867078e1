#include "equilibrium_solver.h"

#include <cmath>
#include <cstring>

namespace cea_impl {

// Initial estimate (RP-1311 section 3.1): n = 0.1 kmol/kg shared equally by
// the gases, no condensed species, and T = 3800 K when T is unknown.
static const double initial_gas_moles_kmol_kg = 0.1;
static const double initial_temperature_k = 3800.0;
// Mole fraction 1e-8: species below it are "trace" for the step control.
static const double trace_log_size = 18.420681;
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
// Past the method's tests Newton goes on until its corrections reach the
// rounding level, so that results do not depend on the starting point.
static const double rounding_level_correction = 1e-12;
static const int max_rounding_iterations = 8;
// Iteration limits: per convergence (as the method's 50 + NS/2), and over a
// whole solve with condensed species entering and leaving.
static const int base_iterations = 50;
static const int max_total_iterations = 600;
// The temperature estimate is kept where the fits still make sense.
static const double min_iteration_temperature_k = 100.0;
static const double max_iteration_temperature_k = 30000.0;

static int element_index(const equilibrium_solver *s, const char *symbol)
{
    for (int i = 0; i < s->element_count; ++i) {
        if (std::strcmp(&s->element_symbols[static_cast<std::size_t>(i * element_symbol_capacity)], symbol) == 0) {
            return i;
        }
    }
    return -1;
}

static void add_element(equilibrium_solver *s, const char *symbol)
{
    if (element_index(s, symbol) >= 0) {
        return;
    }
    std::size_t at = s->element_symbols.size();
    s->element_symbols.resize(at + element_symbol_capacity, '\0');
    std::strncpy(&s->element_symbols[at], symbol, element_symbol_capacity - 1);
    ++s->element_count;
}

// Condensed records are phases of one substance when they share the name
// before the phase mark and the formula (H2O(cr) and H2O(L)).
static int same_substance(const species_record *a, const species_record *b)
{
    const char *pa = std::strchr(a->name, '(');
    const char *pb = std::strchr(b->name, '(');
    std::size_t la = pa != nullptr ? static_cast<std::size_t>(pa - a->name) : std::strlen(a->name);
    std::size_t lb = pb != nullptr ? static_cast<std::size_t>(pb - b->name) : std::strlen(b->name);
    if (la != lb || std::strncmp(a->name, b->name, la) != 0 || a->element_count != b->element_count) {
        return 0;
    }
    for (int e = 0; e < a->element_count; ++e) {
        int found = 0;
        for (int f = 0; f < b->element_count; ++f) {
            if (std::strcmp(a->element_symbols[e], b->element_symbols[f]) == 0 &&
                a->element_amounts[e] == b->element_amounts[f]) {
                found = 1;
            }
        }
        if (!found) {
            return 0;
        }
    }
    return 1;
}

int create_equilibrium_solver(const mixture *products, const mixture *reactants, equilibrium_solver *s,
                              failure *error)
{
    if (reactants->species.empty() || products->species.empty()) {
        return fail(error, CEA_MIXTURE_MISMATCH, "equilibrium solver: a mixture without species");
    }
    s->element_count = 0;
    s->element_symbols.clear();
    for (const species_record &r : reactants->species) {
        for (int e = 0; e < r.element_count; ++e) {
            add_element(s, r.element_symbols[e]);
        }
    }
    int ne = s->element_count;
    s->reactant_count = static_cast<int>(reactants->species.size());
    s->reactant_atoms_per_kg.assign(static_cast<std::size_t>(s->reactant_count * ne), 0.0);
    for (int r = 0; r < s->reactant_count; ++r) {
        const species_record &rec = reactants->species[static_cast<std::size_t>(r)];
        for (int e = 0; e < rec.element_count; ++e) {
            int i = element_index(s, rec.element_symbols[e]);
            s->reactant_atoms_per_kg[static_cast<std::size_t>(r * ne + i)] +=
                rec.element_amounts[e] / rec.molecular_weight_kg_kmol;
        }
    }

    int ns = static_cast<int>(products->species.size());
    s->species_count = ns;
    s->species = products->species;
    s->atoms.assign(static_cast<std::size_t>(ns * ne), 0.0);
    s->usable.assign(static_cast<std::size_t>(ns), 1);
    s->phase_group.assign(static_cast<std::size_t>(ns), -1);
    s->fits.assign(static_cast<std::size_t>(ns), species_fit());
    s->intervals.clear();
    s->gas_list.clear();
    s->condensed_list.clear();
    std::vector<int> element_has_product(static_cast<std::size_t>(ne), 0);
    for (int j = 0; j < ns; ++j) {
        const species_record &rec = products->species[static_cast<std::size_t>(j)];
        if (rec.interval_count == 0) {
            return fail(error, CEA_MIXTURE_MISMATCH,
                        "equilibrium solver: product %s has no temperature fits (an assigned-enthalpy reactant)",
                        rec.name);
        }
        compact_species_fit(&rec, products->intervals.data(), &s->intervals, &s->fits[static_cast<std::size_t>(j)]);
        for (int e = 0; e < rec.element_count; ++e) {
            int i = element_index(s, rec.element_symbols[e]);
            if (i < 0) {
                s->usable[static_cast<std::size_t>(j)] = 0;
            } else {
                s->atoms[static_cast<std::size_t>(j * ne + i)] += rec.element_amounts[e];
            }
        }
        if (s->usable[static_cast<std::size_t>(j)]) {
            for (int i = 0; i < ne; ++i) {
                if (s->atoms[static_cast<std::size_t>(j * ne + i)] != 0.0) {
                    element_has_product[static_cast<std::size_t>(i)] = 1;
                }
            }
        }
        if (rec.condensed) {
            s->condensed_list.push_back(j);
            for (int k = 0; k < j; ++k) {
                const species_record &other = products->species[static_cast<std::size_t>(k)];
                if (other.condensed && same_substance(&rec, &other)) {
                    s->phase_group[static_cast<std::size_t>(j)] = s->phase_group[static_cast<std::size_t>(k)];
                    break;
                }
            }
            if (s->phase_group[static_cast<std::size_t>(j)] < 0) {
                s->phase_group[static_cast<std::size_t>(j)] = j;
            }
        } else {
            s->gas_list.push_back(j);
        }
    }
    for (int i = 0; i < ne; ++i) {
        if (!element_has_product[static_cast<std::size_t>(i)]) {
            return fail(error, CEA_MIXTURE_MISMATCH, "equilibrium solver: no product species holds element %s",
                        &s->element_symbols[static_cast<std::size_t>(i * element_symbol_capacity)]);
        }
    }

    std::size_t nsz = static_cast<std::size_t>(ns);
    std::size_t nez = static_cast<std::size_t>(ne);
    s->b0.assign(nez, 0.0);
    s->element_active.assign(nez, 0);
    s->active_elements.assign(nez, 0);
    s->species_active.assign(nsz, 0);
    s->ln_n.assign(nsz, 0.0);
    s->n.assign(nsz, 0.0);
    s->cp_r.assign(nsz, 0.0);
    s->h_rt.assign(nsz, 0.0);
    s->s_r.assign(nsz, 0.0);
    s->mu.assign(nsz, 0.0);
    s->dln.assign(nsz, 0.0);
    s->included.assign(nsz, 0);
    s->included_list.assign(nsz, 0);
    s->phase_swaps.assign(nsz, 0);
    std::size_t max_unknowns = nez + s->condensed_list.size() + 2;
    s->matrix.assign(max_unknowns * (max_unknowns + 1), 0.0);
    s->unknowns.assign(max_unknowns, 0.0);
    s->pi.assign(nez, 0.0);
    s->b_current.assign(nez, 0.0);
    s->derivative_work.assign(max_unknowns * (max_unknowns + 1), 0.0);
    return CEA_OK;
}

void create_equilibrium_solution(const equilibrium_solver *s, equilibrium_solution *out)
{
    out->species_count = s->species_count;
    out->element_count = s->element_count;
    out->has_result = 0;
    out->converged = 0;
    out->iterations = 0;
    out->type = -1;
    out->moles.assign(static_cast<std::size_t>(s->species_count), 0.0);
    out->element_potentials.assign(static_cast<std::size_t>(s->element_count), 0.0);
}

// The state of one solve.
struct iteration {
    equilibrium_solver *s;
    int energy_row;        // 1 when T is unknown (HP)
    double h0_over_r;      // assigned h/R, kmol K/kg (HP)
    double ln_p;           // ln(p / 1 bar)
    double t;
    double ln_t;
    double ln_n_total;     // ln n, the iteration variable of the gas moles
    int included_count;
    int iterations;
    double lambda;
    // Off while the method's own tests are not yet met: gases below mole
    // fraction 1e-8 then count as absent from the sums (RP-1311 section 3.2),
    // which saves their exponentials. On for the final iterations, so that
    // the result balances every species exactly.
    int include_trace;
};

static double atom(const equilibrium_solver *s, int j, int i)
{
    return s->atoms[static_cast<std::size_t>(j * s->element_count + i)];
}

static void evaluate_functions(equilibrium_solver *s, int j, const temperature_powers *p)
{
    std::size_t k = static_cast<std::size_t>(j);
    species_functions f;
    evaluate_interval(select_interval(s->intervals.data(), &s->fits[k], p->t), p, &f);
    s->cp_r[k] = f.cp_r;
    s->h_rt[k] = f.h_rt;
    s->s_r[k] = f.s_r;
}

// Species functions at the current T, gas amounts from their logarithms and
// the dimensionless chemical potentials mu_j/RT.
static void evaluate_state(iteration *it)
{
    equilibrium_solver *s = it->s;
    temperature_powers p;
    make_temperature_powers(it->t, &p);
    double ln_p_over_n = it->ln_p - it->ln_n_total;
    for (int j : s->gas_list) {
        std::size_t k = static_cast<std::size_t>(j);
        if (!s->species_active[k]) {
            continue;
        }
        evaluate_functions(s, j, &p);
        double ln_nj = s->ln_n[k];
        s->n[k] = it->include_trace || ln_nj - it->ln_n_total > -trace_log_size ? std::exp(ln_nj) : 0.0;
        s->mu[k] = s->h_rt[k] - s->s_r[k] + ln_nj + ln_p_over_n;
    }
    for (int c = 0; c < it->included_count; ++c) {
        int j = s->included_list[static_cast<std::size_t>(c)];
        evaluate_functions(s, j, &p);
        s->mu[static_cast<std::size_t>(j)] = s->h_rt[static_cast<std::size_t>(j)] - s->s_r[static_cast<std::size_t>(j)];
    }
}

// Gaussian elimination with partial pivoting on the rows of an augmented
// m x (m + 1) matrix, each row first scaled by its largest coefficient so that
// the element, amount and energy rows (of very different sizes) compete for
// pivots on equal terms. 0 when the matrix is singular.
static int solve_linear(double *a, int m, double *x)
{
    int w = m + 1;
    for (int r = 0; r < m; ++r) {
        double big = 0.0;
        for (int c = 0; c < m; ++c) {
            double v = std::fabs(a[r * w + c]);
            if (v > big) {
                big = v;
            }
        }
        if (!(big > 0.0) || !std::isfinite(big)) {
            return 0;
        }
        double scale = 1.0 / big;
        for (int c = 0; c < w; ++c) {
            a[r * w + c] *= scale;
        }
    }
    for (int col = 0; col < m; ++col) {
        int pivot = col;
        double best = std::fabs(a[col * w + col]);
        for (int r = col + 1; r < m; ++r) {
            double v = std::fabs(a[r * w + col]);
            if (v > best) {
                best = v;
                pivot = r;
            }
        }
        if (!(best > 1e-300)) {
            return 0;
        }
        if (pivot != col) {
            for (int c = col; c < w; ++c) {
                double t = a[col * w + c];
                a[col * w + c] = a[pivot * w + c];
                a[pivot * w + c] = t;
            }
        }
        double inverse = 1.0 / a[col * w + col];
        for (int r = col + 1; r < m; ++r) {
            double factor = a[r * w + col] * inverse;
            if (factor == 0.0) {
                continue;
            }
            for (int c = col; c < w; ++c) {
                a[r * w + c] -= factor * a[col * w + c];
            }
        }
    }
    for (int r = m - 1; r >= 0; --r) {
        double v = a[r * w + m];
        for (int c = r + 1; c < m; ++c) {
            v -= a[r * w + c] * x[c];
        }
        x[r] = v / a[r * w + r];
        if (!std::isfinite(x[r])) {
            return 0;
        }
    }
    return 1;
}

// Sums over the gases that several rows share.
struct gas_sums {
    double n;       // sum n_j
    double nh;      // sum n_j H_j/RT
    double nh2;     // sum n_j (H_j/RT)^2
    double nmu;     // sum n_j mu_j/RT
    double nhmu;    // sum n_j H_j/RT mu_j/RT
    double ncp;     // sum n_j Cp_j/R, condensed included
    double nh_all;  // sum n_j H_j/RT, condensed included
};

// The reduced Gibbs iteration equations (RP-1311 eqs. 2.24 to 2.27): unknowns
// pi_i (active elements), Delta n_c (included condensed), Delta ln n and, for
// HP, Delta ln T. Returns the number of unknowns.
static int assemble(iteration *it, double *a, gas_sums *g)
{
    equilibrium_solver *s = it->s;
    int le = 0;
    for (int i = 0; i < s->element_count; ++i) {
        if (s->element_active[static_cast<std::size_t>(i)]) {
            s->active_elements[static_cast<std::size_t>(le++)] = i;
        }
    }
    int nc = it->included_count;
    int col_n = le + nc;
    int col_t = col_n + 1;
    int m = col_n + 1 + (it->energy_row ? 1 : 0);
    int w = m + 1;
    for (int k = 0; k < m * w; ++k) {
        a[k] = 0.0;
    }
    std::memset(g, 0, sizeof *g);
    double *b = s->b_current.data();
    for (int k = 0; k < le; ++k) {
        b[k] = 0.0;
    }
    int ne = s->element_count;
    const int *ae = s->active_elements.data();
    for (int j : s->gas_list) {
        std::size_t jj = static_cast<std::size_t>(j);
        if (!s->species_active[jj]) {
            continue;
        }
        double nj = s->n[jj];
        if (nj == 0.0) {
            continue;
        }
        double h = s->h_rt[jj];
        double mu = s->mu[jj];
        g->n += nj;
        g->nh += nj * h;
        g->nh2 += nj * h * h;
        g->nmu += nj * mu;
        g->nhmu += nj * h * mu;
        g->ncp += nj * s->cp_r[jj];
        const double *aj = &s->atoms[jj * static_cast<std::size_t>(ne)];
        for (int k = 0; k < le; ++k) {
            double akj = aj[ae[k]];
            if (akj == 0.0) {
                continue;
            }
            double x = akj * nj;
            double *row = a + k * w;
            for (int i = k; i < le; ++i) {
                row[i] += x * aj[ae[i]];
            }
            row[col_n] += x;
            if (it->energy_row) {
                row[col_t] += x * h;
            }
            row[m] += x * mu;
            b[k] += x;
        }
    }
    g->nh_all = g->nh;
    for (int c = 0; c < nc; ++c) {
        int j = s->included_list[static_cast<std::size_t>(c)];
        std::size_t jj = static_cast<std::size_t>(j);
        double nj = s->n[jj];
        double h = s->h_rt[jj];
        double *row = a + (le + c) * w;
        for (int k = 0; k < le; ++k) {
            double akj = atom(s, j, ae[k]);
            a[k * w + le + c] = akj;
            row[k] = akj;
            b[k] += akj * nj;
        }
        if (it->energy_row) {
            row[col_t] = h;
            a[col_t * w + le + c] = h;
        }
        row[m] = s->mu[jj];
        g->ncp += nj * s->cp_r[jj];
        g->nh_all += nj * h;
    }
    for (int k = 0; k < le; ++k) {
        for (int i = 0; i < k; ++i) {
            a[k * w + i] = a[i * w + k];
        }
        a[k * w + m] += s->b0[static_cast<std::size_t>(ae[k])] - b[k];
    }
    double n_total = std::exp(it->ln_n_total);
    double *row_n = a + col_n * w;
    for (int k = 0; k < le; ++k) {
        row_n[k] = a[k * w + col_n];
    }
    row_n[col_n] = g->n - n_total;
    if (it->energy_row) {
        row_n[col_t] = g->nh;
    }
    row_n[m] = n_total - g->n + g->nmu;
    if (it->energy_row) {
        double *row_t = a + col_t * w;
        for (int k = 0; k < le; ++k) {
            row_t[k] = a[k * w + col_t];
        }
        row_t[col_n] = g->nh;
        row_t[col_t] = g->ncp + g->nh2;
        row_t[m] = it->h0_over_r / it->t - g->nh_all + g->nhmu;
    }
    return m;
}

// One Newton step. Returns 1 and sets *converged_loose / *correction when the
// step was taken, 0 when the equations could not be solved.
static int newton_step(iteration *it, int *loose, double *correction)
{
    equilibrium_solver *s = it->s;
    evaluate_state(it);
    gas_sums g;
    double *a = s->matrix.data();
    int m = assemble(it, a, &g);
    double *x = s->unknowns.data();
    if (!solve_linear(a, m, x)) {
        return 0;
    }
    int le = 0;
    for (int i = 0; i < s->element_count; ++i) {
        s->pi[static_cast<std::size_t>(i)] = 0.0;
        if (s->element_active[static_cast<std::size_t>(i)]) {
            ++le;
        }
    }
    for (int k = 0; k < le; ++k) {
        s->pi[static_cast<std::size_t>(s->active_elements[static_cast<std::size_t>(k)])] = x[k];
    }
    int nc = it->included_count;
    double dln_n = x[le + nc];
    double dln_t = it->energy_row ? x[le + nc + 1] : 0.0;

    // Corrections of the gases (eq. 2.18) and the step control (eqs. 3.1-3.3).
    int ne = s->element_count;
    double big = temperature_step_weight * std::fmax(std::fabs(dln_t), std::fabs(dln_n));
    double lambda2 = 1.0;
    double n_sum = g.n;
    for (int c = 0; c < nc; ++c) {
        n_sum += s->n[static_cast<std::size_t>(s->included_list[static_cast<std::size_t>(c)])];
    }
    double worst_gas = 0.0;
    for (int j : s->gas_list) {
        std::size_t jj = static_cast<std::size_t>(j);
        if (!s->species_active[jj]) {
            continue;
        }
        const double *aj = &s->atoms[jj * static_cast<std::size_t>(ne)];
        double sum = 0.0;
        for (int k = 0; k < le; ++k) {
            sum += aj[s->active_elements[static_cast<std::size_t>(k)]] * x[k];
        }
        double d = -s->mu[jj] + sum + dln_n + s->h_rt[jj] * dln_t;
        s->dln[jj] = d;
        double log_fraction = s->ln_n[jj] - it->ln_n_total;
        if (log_fraction > -trace_log_size) {
            if (d > big) {
                big = d;
            }
        } else if (d >= 0.0) {
            double growth = d - dln_n;
            if (std::fabs(growth) >= trace_growth_min_difference) {
                double limit = std::fabs((-log_fraction - trace_growth_log_limit) / growth);
                if (limit < lambda2) {
                    lambda2 = limit;
                }
            }
        }
        double weighted = s->n[jj] * std::fabs(d) / n_sum;
        if (weighted > worst_gas) {
            worst_gas = weighted;
        }
    }
    double lambda = 1.0;
    if (big > species_step_limit) {
        lambda = species_step_limit / big;
    }
    if (lambda2 < lambda) {
        lambda = lambda2;
    }
    it->lambda = lambda;

    // The method's convergence tests (eqs. 3.5, 3.6a, 3.6b) on this step.
    double worst_condensed = 0.0;
    for (int c = 0; c < nc; ++c) {
        double v = std::fabs(x[le + c]) / n_sum;
        if (v > worst_condensed) {
            worst_condensed = v;
        }
    }
    double n_test = g.n * std::fabs(dln_n) / n_sum;
    double b_max = 0.0;
    for (int k = 0; k < le; ++k) {
        b_max = std::fmax(b_max, s->b0[static_cast<std::size_t>(s->active_elements[static_cast<std::size_t>(k)])]);
    }
    int balance_ok = 1;
    for (int k = 0; k < le; ++k) {
        double b0 = s->b0[static_cast<std::size_t>(s->active_elements[static_cast<std::size_t>(k)])];
        if (b0 > mass_balance_tolerance && std::fabs(b0 - s->b_current[static_cast<std::size_t>(k)]) > mass_balance_tolerance * b_max) {
            balance_ok = 0;
        }
    }
    *loose = lambda == 1.0 && worst_gas <= composition_tolerance && worst_condensed <= composition_tolerance &&
             n_test <= composition_tolerance && std::fabs(dln_t) <= temperature_tolerance && balance_ok;
    *correction = std::fmax(std::fmax(worst_gas, worst_condensed), std::fmax(n_test, std::fabs(dln_t)));

    // New estimates (eq. 3.4).
    for (int j : s->gas_list) {
        std::size_t jj = static_cast<std::size_t>(j);
        if (s->species_active[jj]) {
            s->ln_n[jj] += lambda * s->dln[jj];
        }
    }
    for (int c = 0; c < nc; ++c) {
        std::size_t jj = static_cast<std::size_t>(s->included_list[static_cast<std::size_t>(c)]);
        s->n[jj] += lambda * x[le + c];
    }
    it->ln_n_total += lambda * dln_n;
    if (it->energy_row) {
        it->ln_t += lambda * dln_t;
        it->ln_t = std::fmin(std::fmax(it->ln_t, std::log(min_iteration_temperature_k)),
                             std::log(max_iteration_temperature_k));
        it->t = std::exp(it->ln_t);
    }
    ++it->iterations;
    return std::isfinite(it->ln_n_total) && std::isfinite(it->ln_t);
}

// Iterates to convergence with the current set of condensed species: first
// to the method's tests with trace gases left out of the sums, then with
// every gas until the corrections reach the rounding level (or stop
// shrinking there).
static int converge(iteration *it)
{
    int limit = base_iterations + it->s->species_count / 2;
    int extra = 0;
    double previous = 0.0;
    it->include_trace = 0;
    for (int k = 0; k < limit && it->iterations < max_total_iterations; ++k) {
        int loose = 0;
        double correction = 0.0;
        if (!newton_step(it, &loose, &correction)) {
            return 0;
        }
        if (!loose) {
            extra = 0;
            continue;
        }
        if (!it->include_trace) {
            it->include_trace = 1;
            continue;
        }
        if (correction <= rounding_level_correction || extra >= max_rounding_iterations ||
            (extra > 0 && correction > 0.5 * previous)) {
            return 1;
        }
        previous = correction;
        ++extra;
    }
    return 0;
}

static void include_condensed(iteration *it, int j)
{
    equilibrium_solver *s = it->s;
    s->included[static_cast<std::size_t>(j)] = 1;
    s->included_list[static_cast<std::size_t>(it->included_count++)] = j;
}

static void exclude_condensed(iteration *it, int j)
{
    equilibrium_solver *s = it->s;
    s->included[static_cast<std::size_t>(j)] = 0;
    s->n[static_cast<std::size_t>(j)] = 0.0;
    int w = 0;
    for (int c = 0; c < it->included_count; ++c) {
        int k = s->included_list[static_cast<std::size_t>(c)];
        if (k != j) {
            s->included_list[static_cast<std::size_t>(w++)] = k;
        }
    }
    it->included_count = w;
}

static int in_range(const equilibrium_solver *s, int j, double t)
{
    const species_fit *f = &s->fits[static_cast<std::size_t>(j)];
    return t >= f->t_low_k && t <= f->t_high_k;
}

static int group_included(const equilibrium_solver *s, int j)
{
    for (int k : s->condensed_list) {
        if (s->included[static_cast<std::size_t>(k)] &&
            s->phase_group[static_cast<std::size_t>(k)] == s->phase_group[static_cast<std::size_t>(j)]) {
            return 1;
        }
    }
    return 0;
}

// After a convergence: drops a condensed species with a negative amount,
// changes the phase of one outside its temperature range, or adds the
// condensed species that lowers the Gibbs energy most (eq. 3.7). Returns 1
// when the set changed and the iteration must go on.
static int revise_condensed(iteration *it)
{
    equilibrium_solver *s = it->s;
    int worst = -1;
    for (int c = 0; c < it->included_count; ++c) {
        int j = s->included_list[static_cast<std::size_t>(c)];
        if (s->n[static_cast<std::size_t>(j)] <= 0.0 &&
            (worst < 0 || s->n[static_cast<std::size_t>(j)] < s->n[static_cast<std::size_t>(worst)])) {
            worst = j;
        }
    }
    if (worst >= 0) {
        exclude_condensed(it, worst);
        return 1;
    }
    if (it->energy_row) {
        for (int c = 0; c < it->included_count; ++c) {
            int j = s->included_list[static_cast<std::size_t>(c)];
            if (in_range(s, j, it->t)) {
                continue;
            }
            int other = -1;
            for (int k : s->condensed_list) {
                if (k != j && s->species_active[static_cast<std::size_t>(k)] &&
                    s->phase_group[static_cast<std::size_t>(k)] == s->phase_group[static_cast<std::size_t>(j)] &&
                    in_range(s, k, it->t)) {
                    other = k;
                }
            }
            if (other < 0) {
                exclude_condensed(it, j);
                return 1;
            }
            if (s->included[static_cast<std::size_t>(other)]) {
                continue;  // both phases present: the amounts decide
            }
            std::size_t group = static_cast<std::size_t>(s->phase_group[static_cast<std::size_t>(j)]);
            if (s->phase_swaps[group] >= 2) {
                // Swapping back and forth: the temperature sits at the
                // transition, where both phases coexist.
                include_condensed(it, other);
                return 1;
            }
            ++s->phase_swaps[group];
            double amount = s->n[static_cast<std::size_t>(j)];
            exclude_condensed(it, j);
            include_condensed(it, other);
            s->n[static_cast<std::size_t>(other)] = amount;
            return 1;
        }
    }
    temperature_powers p;
    make_temperature_powers(it->t, &p);
    int best = -1;
    double best_delta = 0.0;
    for (int j : s->condensed_list) {
        std::size_t jj = static_cast<std::size_t>(j);
        if (!s->species_active[jj] || s->included[jj] || !in_range(s, j, it->t) || group_included(s, j)) {
            continue;
        }
        evaluate_functions(s, j, &p);
        double delta = s->h_rt[jj] - s->s_r[jj];
        for (int i = 0; i < s->element_count; ++i) {
            delta -= atom(s, j, i) * s->pi[static_cast<std::size_t>(i)];
        }
        if (delta < best_delta) {
            best_delta = delta;
            best = j;
        }
    }
    if (best >= 0) {
        include_condensed(it, best);
        s->n[static_cast<std::size_t>(best)] = 0.0;
        return 1;
    }
    return 0;
}

// Derivatives of the equilibrium composition with respect to ln T at
// constant p and to ln p at constant T (RP-1311 tables 2.3 and 2.4), for the
// equilibrium heat capacity and the isentropic exponent.
static int derivatives(iteration *it, equilibrium_solution *out)
{
    equilibrium_solver *s = it->s;
    int saved_energy_row = it->energy_row;
    it->energy_row = 0;
    gas_sums g;
    double *a = s->derivative_work.data();
    double *x = s->unknowns.data();
    int le = 0;
    for (int i = 0; i < s->element_count; ++i) {
        if (s->element_active[static_cast<std::size_t>(i)]) {
            ++le;
        }
    }
    int nc = it->included_count;
    double dlnn_dlnt = 0.0;
    double dlnn_dlnp = 0.0;
    double cp_reaction = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        int m = assemble(it, a, &g);
        int w = m + 1;
        a[(m - 1) * w + (m - 1)] = 0.0;  // sum n_j - n vanishes at equilibrium
        for (int k = 0; k < le; ++k) {
            int e = s->active_elements[static_cast<std::size_t>(k)];
            double rhs = 0.0;
            for (int j : s->gas_list) {
                std::size_t jj = static_cast<std::size_t>(j);
                if (s->species_active[jj]) {
                    double an = atom(s, j, e) * s->n[jj];
                    rhs += pass == 0 ? -an * s->h_rt[jj] : an;
                }
            }
            a[k * w + m] = rhs;
        }
        for (int c = 0; c < nc; ++c) {
            std::size_t jj = static_cast<std::size_t>(s->included_list[static_cast<std::size_t>(c)]);
            a[(le + c) * w + m] = pass == 0 ? -s->h_rt[jj] : 0.0;
        }
        a[(m - 1) * w + m] = pass == 0 ? -g.nh : g.n;
        if (!solve_linear(a, m, x)) {
            it->energy_row = saved_energy_row;
            return 0;
        }
        if (pass == 0) {
            dlnn_dlnt = x[m - 1];
            for (int k = 0; k < le; ++k) {
                int e = s->active_elements[static_cast<std::size_t>(k)];
                double sum = 0.0;
                for (int j : s->gas_list) {
                    std::size_t jj = static_cast<std::size_t>(j);
                    if (s->species_active[jj]) {
                        sum += atom(s, j, e) * s->n[jj] * s->h_rt[jj];
                    }
                }
                cp_reaction += sum * x[k];
            }
            for (int c = 0; c < nc; ++c) {
                std::size_t jj = static_cast<std::size_t>(s->included_list[static_cast<std::size_t>(c)]);
                cp_reaction += s->h_rt[jj] * x[le + c];
            }
            cp_reaction += g.nh * dlnn_dlnt + g.nh2;
        } else {
            dlnn_dlnp = x[m - 1];
        }
    }
    it->energy_row = saved_energy_row;
    out->cp_equilibrium_over_r = g.ncp + cp_reaction;
    out->dlnv_dlnt = 1.0 + dlnn_dlnt;
    out->dlnv_dlnp = -1.0 + dlnn_dlnp;
    return std::isfinite(out->cp_equilibrium_over_r) && std::isfinite(out->dlnv_dlnt) && std::isfinite(out->dlnv_dlnp);
}

static void record_result(iteration *it, int converged, equilibrium_solution *out)
{
    equilibrium_solver *s = it->s;
    it->include_trace = 1;
    evaluate_state(it);
    double n_gas = 0.0;
    double n_condensed = 0.0;
    double h = 0.0;
    double cp = 0.0;
    double entropy = 0.0;
    for (int j = 0; j < s->species_count; ++j) {
        std::size_t jj = static_cast<std::size_t>(j);
        out->moles[jj] = 0.0;
    }
    for (int j : s->gas_list) {
        std::size_t jj = static_cast<std::size_t>(j);
        if (!s->species_active[jj] || s->n[jj] == 0.0) {
            continue;
        }
        out->moles[jj] = s->n[jj];
        n_gas += s->n[jj];
    }
    for (int j : s->gas_list) {
        std::size_t jj = static_cast<std::size_t>(j);
        if (out->moles[jj] == 0.0) {
            continue;
        }
        double nj = s->n[jj];
        h += nj * s->h_rt[jj];
        cp += nj * s->cp_r[jj];
        entropy += nj * (s->s_r[jj] - std::log(nj / n_gas) - it->ln_p);
    }
    for (int c = 0; c < it->included_count; ++c) {
        std::size_t jj = static_cast<std::size_t>(s->included_list[static_cast<std::size_t>(c)]);
        double nj = s->n[jj];
        out->moles[jj] = nj;
        n_condensed += nj;
        h += nj * s->h_rt[jj];
        cp += nj * s->cp_r[jj];
        entropy += nj * s->s_r[jj];
    }
    out->has_result = 1;
    out->converged = converged;
    out->iterations = it->iterations;
    out->t_k = it->t;
    out->p_bar = std::exp(it->ln_p);
    out->n_gas = n_gas;
    out->n_total = n_gas + n_condensed;
    out->h_over_r = h * it->t;
    out->cp_frozen_over_r = cp;
    out->s_over_r = entropy;
    for (int i = 0; i < s->element_count; ++i) {
        out->element_potentials[static_cast<std::size_t>(i)] = s->pi[static_cast<std::size_t>(i)];
    }
    out->derivatives_valid = converged ? derivatives(it, out) : 0;
}

int solve_equilibrium(equilibrium_solver *s, int type, double state1, double state2, const double amounts[],
                      const solve_start *start, equilibrium_solution *out, failure *error)
{
    out->has_result = 0;
    out->converged = 0;
    if (type != CEA_TP && type != CEA_HP) {
        return fail(error, CEA_INVALID_EQUILIBRIUM_TYPE,
                    "equilibrium type %d is not provided (0 for assigned T and p, 1 for assigned h and p)", type);
    }
    if (amounts == nullptr) {
        return fail(error, CEA_INVALID_SIZE, "equilibrium: the reactant amounts array is null");
    }
    if (!std::isfinite(state1) || (type == CEA_TP && !(state1 > 0.0))) {
        return fail(error, CEA_INVALID_ARGUMENT, type == CEA_TP ? "equilibrium: the temperature must be a positive number"
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
    if (!(amount_sum > 0.0) || !std::isfinite(amount_sum)) {
        return fail(error, CEA_INVALID_ARGUMENT, "equilibrium: the reactant amounts must not all be zero");
    }
    if (type == CEA_TP && (state1 < min_iteration_temperature_k || state1 > max_iteration_temperature_k)) {
        return fail(error, CEA_INVALID_ARGUMENT, "equilibrium: the temperature must lie between %.0f K and %.0f K",
                    min_iteration_temperature_k, max_iteration_temperature_k);
    }

    // Element amounts b0_i = sum_r w_r a_ri / M_r per kilogram of reactants.
    int ne = s->element_count;
    for (int i = 0; i < ne; ++i) {
        double b = 0.0;
        for (int r = 0; r < s->reactant_count; ++r) {
            b += amounts[r] * s->reactant_atoms_per_kg[static_cast<std::size_t>(r * ne + i)];
        }
        b /= amount_sum;
        s->b0[static_cast<std::size_t>(i)] = b;
        s->element_active[static_cast<std::size_t>(i)] = b > 0.0;
    }
    int gas_active = 0;
    for (int j = 0; j < s->species_count; ++j) {
        std::size_t jj = static_cast<std::size_t>(j);
        int active = s->usable[jj];
        for (int i = 0; i < ne && active; ++i) {
            if (atom(s, j, i) != 0.0 && !s->element_active[static_cast<std::size_t>(i)]) {
                active = 0;
            }
        }
        s->species_active[jj] = active;
        s->included[jj] = 0;
        s->phase_swaps[jj] = 0;
        s->n[jj] = 0.0;
        s->ln_n[jj] = 0.0;
        s->dln[jj] = 0.0;
        if (active && !s->species[jj].condensed) {
            ++gas_active;
        }
    }
    for (int i = 0; i < ne; ++i) {
        s->pi[static_cast<std::size_t>(i)] = 0.0;
    }

    iteration it;
    it.s = s;
    it.energy_row = type == CEA_HP;
    it.h0_over_r = type == CEA_HP ? state1 : 0.0;
    it.ln_p = std::log(state2);
    it.t = type == CEA_HP ? initial_temperature_k : state1;
    if (start != nullptr && type == CEA_HP) {
        it.t = start->t_k;
    }
    it.ln_t = std::log(it.t);
    double n_start = start != nullptr ? start->n_total : initial_gas_moles_kmol_kg;
    it.ln_n_total = std::log(n_start);
    it.included_count = 0;
    it.iterations = 0;
    it.lambda = 1.0;
    it.include_trace = 0;
    if (gas_active == 0) {
        record_result(&it, 0, out);
        return CEA_OK;
    }
    double ln_each = std::log(n_start / gas_active);
    for (int j : s->gas_list) {
        if (s->species_active[static_cast<std::size_t>(j)]) {
            s->ln_n[static_cast<std::size_t>(j)] = ln_each;
        }
    }
    int max_revisions = 4 * static_cast<int>(s->condensed_list.size()) + 10;
    int converged = 0;
    for (int pass = 0; pass <= max_revisions; ++pass) {
        if (!converge(&it)) {
            break;
        }
        if (!revise_condensed(&it)) {
            converged = 1;
            break;
        }
    }
    record_result(&it, converged, out);
    return CEA_OK;
}

}  // namespace cea_impl
