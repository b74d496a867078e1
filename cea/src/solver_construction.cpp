// Building a solver and a solution: the elements of the reactants, their
// amounts per kilogram, the gases (small ones first) and condensed species
// of the products with their atoms, the phases of one substance, and every
// array a solve needs, in one block lent by the database.
#include "equilibrium_iteration.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace cea_impl {

// Gases of at most this many atoms carry the first, cheap estimate.
static const double small_gas_atoms = 3.0;

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

} // namespace cea_impl
