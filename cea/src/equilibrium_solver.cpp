#include "equilibrium_solver.h"
#include "state_properties.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace cea_impl {

// Initial estimate (RP-1311 section 3.1): n = 0.1 kmol/kg shared equally by
// the gases, no condensed species, and T = 3800 K when T is unknown.
static const double initial_gas_moles_kmol_kg = 0.1;
static const double initial_temperature_k = 3800.0;
// Gases of at most this many atoms carry the first, cheap estimate.
static const double small_gas_atoms = 3.0;
// The first estimate is worth a few cheap iterations, not more.
static const int small_gas_iterations = 30;
// Largest mole fraction (as its logarithm, ln 0.01) at which another gas
// enters after that estimate.
static const double expanded_log_fraction_cap = -4.605170185988091;
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
// The trace gases still count in the frozen heat capacity, at their
// equilibrium amounts. Below mole fraction 1e-25 a gas changes that sum by
// less than 1e-22 of itself even a hundred times over, far below its
// rounding, so it is left out and its exponential saved.
static const double negligible_log_size = 57.564627;
// An element whose amount is below this fraction of the largest element's
// is a trace element (the method's BRATIO test, RP-1311 section 3.2). Its
// species sit far below mole fraction 1e-8, so the floors move down by the
// ratio: SIZE = ln(1000/BRATIO) and XSIZE = SIZE + ln 1000. Otherwise the
// trace element's species leave the sums, its balance goes untested and its
// row of the equations vanishes.
static const double trace_element_ratio = 1e-5;
static const double trace_element_log_margin = 6.9077553; // ln 1000
// A set of gases in the sums that still changes after this many tests of a
// converged state has a gas sitting at the floor, whose inclusion moves it
// across: from then on a gas in the sums stays there, so that the solve
// ends, and ends the same way for the same arguments.
static const int max_set_changes = 3;
// The smallest element amount that a solve accepts: its species' amounts
// stay normal doubles (a formula holds at most some tens of atoms), so
// that the balance can be met to balance_tolerance of the amount.
static const double min_element_amount_kmol_kg = 1e-305;
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
// The temperature estimate is kept where the fits still make sense.
static const double min_iteration_temperature_k = 100.0;
static const double max_iteration_temperature_k = 30000.0;

// Plain comparisons: std::fmax and std::fmin are library calls here, and
// every value they see is a number.
static double larger(double a, double b) { return a > b ? a : b; }

static double smaller(double a, double b) { return a < b ? a : b; }

static std::size_t at(int i) { return static_cast<std::size_t>(i); }

static int element_index(const equilibrium_solver *s, const char *symbol)
{
    for (int i = 0; i < s->element_count; ++i) {
        if (std::strcmp(&s->element_symbols[at(i * element_symbol_capacity)], symbol) == 0) {
            return i;
        }
    }
    return -1;
}

// The symbols array has room for every formula pair of the reactants.
static void add_element(equilibrium_solver *s, const char *symbol)
{
    if (element_index(s, symbol) >= 0) {
        return;
    }
    char *slot = &s->element_symbols[at(s->element_count * element_symbol_capacity)];
    std::memset(slot, 0, element_symbol_capacity);
    std::strncpy(slot, symbol, element_symbol_capacity - 1);
    ++s->element_count;
}

// Condensed records are phases of one substance when they share the name
// before the phase mark and the formula (H2O(cr) and H2O(L)).
static int same_substance(const species_record *a, const species_record *b)
{
    const char *name_a = record_name(a);
    const char *name_b = record_name(b);
    const char *pa = std::strchr(name_a, '(');
    const char *pb = std::strchr(name_b, '(');
    std::size_t la = pa != nullptr ? static_cast<std::size_t>(pa - name_a) : std::strlen(name_a);
    std::size_t lb = pb != nullptr ? static_cast<std::size_t>(pb - name_b) : std::strlen(name_b);
    if (la != lb || std::strncmp(name_a, name_b, la) != 0 || a->element_count != b->element_count) {
        return 0;
    }
    for (int e = 0; e < a->element_count; ++e) {
        int found = 0;
        for (int f = 0; f < b->element_count; ++f) {
            if (std::strcmp(record_element_symbol(a, e), record_element_symbol(b, f)) == 0 &&
                record_element_amounts(a)[e] == record_element_amounts(b)[f]) {
                found = 1;
            }
        }
        if (!found) {
            return 0;
        }
    }
    return 1;
}

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
static void load_gas_interval(equilibrium_solver *s, int g, double t)
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
static void gas_data_range(const equilibrium_solver *s, const int *in_play, double *low_k, double *high_k)
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

// Hands out the arrays of one block: a first pass with a null base only
// adds up the size, a second assigns the pointers.
struct carver {
    char *base;
    std::size_t used;
};

template <typename T>
static void carve(carver *c, T **slot, int count)
{
    c->used = (c->used + alignof(T) - 1) / alignof(T) * alignof(T);
    *slot = c->base != nullptr ? reinterpret_cast<T *>(c->base + c->used) : nullptr;
    c->used += at(count) * sizeof(T);
}

static void lay_out_solver(equilibrium_solver *s, int max_elements, int ns, int ng, int nc, carver *c)
{
    int ne = max_elements;
    std::size_t max_unknowns = at(ne + nc + 2);
    // Doubles first, then ints, then characters: no padding between them.
    carve(c, &s->reactant_atoms_per_kg, s->reactant_count * ne);
    carve(c, &s->gas_atoms, ne * ng);
    carve(c, &s->gas_coefficients, gas_coefficient_rows * ng);
    carve(c, &s->gas_valid_low, ng);
    carve(c, &s->gas_valid_high, ng);
    carve(c, &s->gas_data_low, ng);
    carve(c, &s->gas_data_high, ng);
    carve(c, &s->condensed_atoms, nc * ne);
    carve(c, &s->b0, ne);
    carve(c, &s->ln_n, ng);
    carve(c, &s->n, ng);
    carve(c, &s->g_rt, ng);
    carve(c, &s->h_rt, ng);
    carve(c, &s->cp_r, ng);
    carve(c, &s->mu, ng);
    carve(c, &s->dln, ng);
    carve(c, &s->condensed_n, nc);
    carve(c, &s->condensed_g_rt, nc);
    carve(c, &s->condensed_h_rt, nc);
    carve(c, &s->condensed_cp_r, nc);
    carve(c, &s->condensed_s_r, nc);
    carve(c, &s->matrix, static_cast<int>(max_unknowns * (max_unknowns + 1)));
    carve(c, &s->unknowns, static_cast<int>(max_unknowns));
    carve(c, &s->pi, ne);
    carve(c, &s->b_current, ne);
    carve(c, &s->species, ns);
    carve(c, &s->gas_species, ng);
    carve(c, &s->gas_usable, ng);
    carve(c, &s->gas_small, ng);
    carve(c, &s->condensed_species, nc);
    carve(c, &s->condensed_usable, nc);
    carve(c, &s->condensed_group, nc);
    carve(c, &s->element_active, ne);
    carve(c, &s->active_elements, ne);
    carve(c, &s->gas_active, ng);
    carve(c, &s->present, ng);
    carve(c, &s->present_list, ng);
    carve(c, &s->condensed_active, nc);
    carve(c, &s->included, nc);
    carve(c, &s->included_list, nc);
    carve(c, &s->phase_swaps, nc);
    carve(c, &s->element_symbols, ne * element_symbol_capacity);
}

static double formula_atoms(const species_record *r)
{
    double atoms = 0.0;
    for (int e = 0; e < r->element_count; ++e) {
        atoms += std::fabs(record_element_amounts(r)[e]);
    }
    return atoms;
}

void release_equilibrium_solver(equilibrium_solver *s)
{
    if (s->block != nullptr) {
        return_object_memory(s->database, s->block, s->block_bytes);
    }
    std::memset(s, 0, sizeof *s);
}

int create_equilibrium_solver(const mixture *products, const mixture *reactants, equilibrium_solver *s, failure *error)
{
    std::memset(s, 0, sizeof *s);
    if (reactants->species_count == 0 || products->species_count == 0) {
        return fail(error, CEA_MIXTURE_MISMATCH, "equilibrium solver: a mixture without species");
    }
    int ns = products->species_count;
    int nc = 0;
    for (int j = 0; j < ns; ++j) {
        const species_record *rec = mixture_species(products, j);
        if (rec->interval_count == 0) {
            return fail(error, CEA_MIXTURE_MISMATCH,
                        "equilibrium solver: product %s has no temperature fits (an assigned-enthalpy reactant)",
                        record_name(rec));
        }
        nc += rec->condensed != 0;
    }
    int ng = ns - nc;
    int max_elements = 0;
    for (int r = 0; r < reactants->species_count; ++r) {
        max_elements += mixture_species(reactants, r)->element_count;
    }
    s->reactant_count = reactants->species_count;
    carver sizes = {nullptr, 0};
    lay_out_solver(s, max_elements, ns, ng, nc, &sizes);
    // Zeroed: the work arrays start as the solve expects them.
    s->database = products->database;
    s->block = lend_object_memory(s->database, sizes.used);
    if (s->block == nullptr) {
        return fail(error, CEA_OUT_OF_MEMORY, "equilibrium solver: out of memory");
    }
    s->block_bytes = sizes.used;
    carver place = {static_cast<char *>(s->block), 0};
    lay_out_solver(s, max_elements, ns, ng, nc, &place);

    s->element_count = 0;
    for (int r = 0; r < reactants->species_count; ++r) {
        const species_record *rec = mixture_species(reactants, r);
        for (int e = 0; e < rec->element_count; ++e) {
            add_element(s, record_element_symbol(rec, e));
        }
    }
    int ne = s->element_count;
    for (int r = 0; r < s->reactant_count; ++r) {
        const species_record *rec = mixture_species(reactants, r);
        for (int e = 0; e < rec->element_count; ++e) {
            int i = element_index(s, record_element_symbol(rec, e));
            s->reactant_atoms_per_kg[at(r * ne + i)] += record_element_amounts(rec)[e] / rec->molecular_weight_kg_kmol;
        }
    }

    s->species_count = ns;
    int condensed = 0;
    for (int j = 0; j < ns; ++j) {
        s->species[at(j)] = products->species[j];
        if (mixture_species(products, j)->condensed) {
            s->condensed_species[at(condensed++)] = j;
        }
    }
    // Gases of at most three atoms first: the first estimate iterates on
    // them alone, over the leading columns of the gas tables.
    int gases = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int j = 0; j < ns; ++j) {
            const species_record *rec = solver_species(s, j);
            if (!rec->condensed && (formula_atoms(rec) <= small_gas_atoms) == (pass == 0)) {
                s->gas_species[at(gases++)] = j;
            }
        }
        if (pass == 0) {
            s->small_gas_count = gases;
        }
    }
    s->gas_count = ng;
    s->condensed_count = nc;
    int *element_has_product = s->element_active; // free until the first solve
    for (int g = 0; g < ng; ++g) {
        const species_record *rec = solver_species(s, s->gas_species[at(g)]);
        s->gas_usable[at(g)] = 1;
        for (int e = 0; e < rec->element_count; ++e) {
            int i = element_index(s, record_element_symbol(rec, e));
            if (i < 0) {
                s->gas_usable[at(g)] = 0;
            } else {
                s->gas_atoms[at(i * ng + g)] += record_element_amounts(rec)[e];
            }
        }
        s->gas_small[at(g)] = g < s->small_gas_count;
        const thermo_interval *intervals = record_intervals(rec);
        s->gas_data_low[at(g)] = intervals[0].t_low_k;
        s->gas_data_high[at(g)] = intervals[rec->interval_count - 1].t_high_k;
        for (int i = 0; i < ne && s->gas_usable[at(g)]; ++i) {
            if (s->gas_atoms[at(i * ng + g)] != 0.0) {
                element_has_product[at(i)] = 1;
            }
        }
    }
    for (int c = 0; c < nc; ++c) {
        const species_record *rec = solver_species(s, s->condensed_species[at(c)]);
        s->condensed_usable[at(c)] = 1;
        s->condensed_group[at(c)] = -1;
        for (int e = 0; e < rec->element_count; ++e) {
            int i = element_index(s, record_element_symbol(rec, e));
            if (i < 0) {
                s->condensed_usable[at(c)] = 0;
            } else {
                s->condensed_atoms[at(c * ne + i)] += record_element_amounts(rec)[e];
            }
        }
        for (int i = 0; i < ne && s->condensed_usable[at(c)]; ++i) {
            if (s->condensed_atoms[at(c * ne + i)] != 0.0) {
                element_has_product[at(i)] = 1;
            }
        }
        for (int k = 0; k < c; ++k) {
            if (same_substance(rec, solver_species(s, s->condensed_species[at(k)]))) {
                s->condensed_group[at(c)] = s->condensed_group[at(k)];
                break;
            }
        }
        if (s->condensed_group[at(c)] < 0) {
            s->condensed_group[at(c)] = c;
        }
    }
    for (int i = 0; i < ne; ++i) {
        if (!element_has_product[at(i)]) {
            int status = fail(error, CEA_MIXTURE_MISMATCH, "equilibrium solver: no product species holds element %s",
                              &s->element_symbols[at(i * element_symbol_capacity)]);
            release_equilibrium_solver(s);
            return status;
        }
        element_has_product[at(i)] = 0;
    }
    for (int g = 0; g < ng; ++g) {
        load_gas_interval(s, g, initial_temperature_k);
    }
    gas_data_range(s, s->gas_usable, &s->data_low_k, &s->data_high_k);
    return CEA_OK;
}

int create_equilibrium_solution(const equilibrium_solver *s, equilibrium_solution *out, failure *error)
{
    std::memset(out, 0, sizeof *out);
    out->moles = static_cast<double *>(std::calloc(at(s->species_count + s->element_count), sizeof(double)));
    if (out->moles == nullptr) {
        return fail(error, CEA_OUT_OF_MEMORY, "equilibrium solution: out of memory");
    }
    out->element_potentials = out->moles + s->species_count;
    out->species_count = s->species_count;
    out->element_count = s->element_count;
    return CEA_OK;
}

void release_equilibrium_solution(equilibrium_solution *out)
{
    std::free(out->moles);
    std::memset(out, 0, sizeof *out);
}

// The state of one solve.
struct iteration {
    equilibrium_solver *s;
    int energy_row;   // 1 when T is unknown (HP)
    double h0_over_r; // assigned h/R, kmol K/kg (HP)
    double ln_p;      // ln(p / 1 bar)
    double t;
    double ln_t;
    double ln_n_total; // ln n, the iteration variable of the gas moles
    int active_element_count;
    int included_count;
    int iterations;
    int present_count; // gases in the sums (present_list)
    // On for the first estimate, which iterates on the small gases only.
    int small_only;
    int temperature_clamped; // T ran into the iteration bounds
    // The floors below ln n: SIZE of the step control (trace_log_size),
    // the floor of the sums in force (SIZE, or XSIZE once a condensed
    // species has entered), and XSIZE; all deeper with a trace element.
    // Then the largest element amount.
    double trace_log;
    double presence_log;
    double condensed_log;
    double b0_max;
    // 1 once the set of gases in the sums has changed max_set_changes times
    // at a converged state: a gas in the sums then stays there.
    int keep_present;
    int trace_elements; // 1 when some element is below trace_element_ratio of b0_max
    // 1 while the work arrays hold the functions of the current state with
    // the gases in the sums that it decides (the final test of converge
    // evaluated it), so that the result need not evaluate it again.
    int state_evaluated;
};

// Gases in the iteration occupy the leading columns of the gas tables.
static int gas_columns(const iteration *it) { return it->small_only ? it->s->small_gas_count : it->s->gas_count; }

static int gas_in_play(const iteration *it, int g) { return it->s->gas_active[at(g)] && g < gas_columns(it); }

static void evaluate_condensed(equilibrium_solver *s, int c, const temperature_powers *p)
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
static double gas_heat_capacity(const equilibrium_solver *s, int g, const temperature_powers *p)
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
static int evaluate_state(iteration *it)
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
            big = larger(big, std::fabs(a[r * w + c]));
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
    double n;      // sum n_j
    double nh;     // sum n_j H_j/RT
    double nh2;    // sum n_j (H_j/RT)^2
    double nmu;    // sum n_j mu_j/RT
    double nhmu;   // sum n_j H_j/RT mu_j/RT
    double ncp;    // sum n_j Cp_j/R, condensed included
    double nh_all; // sum n_j H_j/RT, condensed included
};

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

// The reduced Gibbs iteration equations (RP-1311 eqs. 2.24 to 2.27): unknowns
// pi_i (active elements), Delta n_c (included condensed), Delta ln n and, for
// HP, Delta ln T. Returns the number of unknowns.
static int assemble(iteration *it, double *a, gas_sums *sums)
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
    switch (le) {
    case 1: accumulate_gases_small<1>(it, a, w, col_n, col_t, m, &g); break;
    case 2: accumulate_gases_small<2>(it, a, w, col_n, col_t, m, &g); break;
    case 3: accumulate_gases_small<3>(it, a, w, col_n, col_t, m, &g); break;
    case 4: accumulate_gases_small<4>(it, a, w, col_n, col_t, m, &g); break;
    default: accumulate_gases(it, a, w, col_n, col_t, m, &g); break;
    }
    g.nh_all = g.nh;
    int ne = s->element_count;
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
    for (int k = 0; k < le; ++k) {
        for (int i = 0; i < k; ++i) {
            a[k * w + i] = a[i * w + k];
        }
        a[k * w + m] += s->b0[at(ae[k])] - b[k];
    }
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

// One Newton step with the published step control. Returns 0 when the
// equations could not be solved; otherwise takes the step and reports
// whether the method's convergence tests held and the size of the step.
static int newton_step(iteration *it, int *loose, double *correction)
{
    equilibrium_solver *s = it->s;
    it->state_evaluated = 0;
    evaluate_state(it);
    gas_sums g;
    int m = assemble(it, s->matrix, &g);
    double *x = s->unknowns;
    if (!solve_linear(s->matrix, m, x)) {
        return 0;
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
        double ln_t_min = std::log(min_iteration_temperature_k);
        double ln_t_max = std::log(max_iteration_temperature_k);
        if (it->ln_t < ln_t_min || it->ln_t > ln_t_max) {
            it->ln_t = smaller(larger(it->ln_t, ln_t_min), ln_t_max);
            it->temperature_clamped = 1;
            if (it->small_only) {
                return 0; // the small gases cannot meet the enthalpy: give up the first estimate
            }
        }
        it->t = std::exp(it->ln_t);
    }
    ++it->iterations;
    return std::isfinite(it->ln_n_total) && std::isfinite(it->ln_t);
}

// Whether the state that evaluate_state last evaluated balances: every
// active element's amount in the sums (gases present, condensed included)
// within balance_tolerance of its own b0 and, with T unknown, the enthalpy
// within balance_tolerance of the larger of |h0| and the sum of the
// magnitudes of its terms (the scale of its rounding when h0 is near zero).
static int balances_hold(const iteration *it)
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
    double h = 0.0;
    double magnitude = 0.0;
    for (int q = 0; q < it->present_count; ++q) {
        int j = s->present_list[at(q)];
        double term = s->n[at(j)] * s->h_rt[at(j)];
        h += term;
        magnitude += std::fabs(term);
    }
    for (int q = 0; q < it->included_count; ++q) {
        int c = s->included_list[at(q)];
        double term = s->condensed_n[at(c)] * s->condensed_h_rt[at(c)];
        h += term;
        magnitude += std::fabs(term);
    }
    double scale = larger(std::fabs(it->h0_over_r), magnitude * it->t);
    return std::fabs(h * it->t - it->h0_over_r) <= balance_tolerance * scale;
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
enum { converge_method_tests = 0, converge_to_rounding = 1 };

static int converge(iteration *it, int mode)
{
    int limit = it->small_only ? small_gas_iterations : base_iterations + it->s->species_count / 2;
    int extra = 0;
    double previous = 0.0;
    int set_changes = 0;
    it->keep_present = 0;
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

// After a convergence: drops a condensed species with a negative amount,
// changes the phase of one outside its temperature range, or adds the
// condensed species that lowers the Gibbs energy most (eq. 3.7). Returns 1
// when the set changed and the iteration must go on.
static int revise_condensed(iteration *it)
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
    if (it->energy_row) {
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

// Derivatives of the equilibrium composition with respect to ln T at
// constant p and to ln p at constant T (RP-1311 tables 2.3 and 2.4), for the
// equilibrium heat capacity and the isentropic exponent.
static int derivatives(iteration *it, equilibrium_solution *out)
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
        for (int q = 0; q < nc; ++q) {
            a[(le + q) * w + m] = pass == 0 ? -s->condensed_h_rt[at(s->included_list[at(q)])] : 0.0;
        }
        a[(m - 1) * w + m] = pass == 0 ? -g.nh : g.n;
        if (!solve_linear(a, m, x)) {
            ok = 0;
            break;
        }
        if (pass == 0) {
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
    out->cp_equilibrium_over_r = g.ncp + cp_reaction;
    out->dlnv_dlnt = 1.0 + dlnn_dlnt;
    out->dlnv_dlnp = -1.0 + dlnn_dlnp;
    return std::isfinite(out->cp_equilibrium_over_r) && std::isfinite(out->dlnv_dlnt) &&
           std::isfinite(out->dlnv_dlnp) && out->dlnv_dlnp < 0.0;
}

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
static void record_result(iteration *it, int converged, double data_low_k, double data_high_k,
                          equilibrium_solution *out)
{
    equilibrium_solver *s = it->s;
    if (!it->state_evaluated) {
        it->small_only = 0;
        evaluate_state(it);
    }
    int reason = converged ? 0 : unconverged_iterations;
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
    out->derivatives_valid = converged ? derivatives(it, out) : 0;
}

// Every gas in play at an equal share of the gas moles; a gas that holds a
// trace element at that share scaled by the element's ratio to the largest
// amount. An equal share would put such a gas many orders of magnitude
// above its element's amount, and Newton's steps bring an excess down by
// no more than a factor e each.
static void spread_gas_estimate(iteration *it, double n_start)
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
static int small_gas_estimate(iteration *it, double n_start)
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
    it.state_evaluated = 0;
    double n_start = start != nullptr ? start->n_total : initial_gas_moles_kmol_kg;
    it.ln_n_total = std::log(n_start);
    if (gas_active == 0 || it.active_element_count == 0) {
        record_result(&it, 0, data_low_k, data_high_k, out);
        return CEA_OK;
    }
    int estimated = 0;
    if (start == nullptr || !start->skip_first_estimate) {
        estimated = small_gas_estimate(&it, n_start);
    }
    int converged = 0;
    for (int attempt = estimated ? 0 : 1; attempt < 2 && !converged; ++attempt) {
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
            spread_gas_estimate(&it, n_start);
        }
        int max_revisions = 4 * s->condensed_count + 10;
        for (int pass = 0; pass <= max_revisions; ++pass) {
            if (!converge(&it, converge_to_rounding)) {
                break;
            }
            if (!revise_condensed(&it)) {
                converged = 1;
                break;
            }
        }
    }
    record_result(&it, converged, data_low_k, data_high_k, out);
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
