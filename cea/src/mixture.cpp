#include "mixture.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace cea_impl {

// The reference library takes an assigned-enthalpy reactant (a liquid
// propellant recorded at one temperature) at its assigned enthalpy for any
// temperature within this distance of the recorded one, both ends included.
static const double assigned_enthalpy_window_k = 10.0;
// Slack for decimal temperatures such as 90.17 - 10 that land a rounding
// error outside the inclusive window.
static const double window_rounding_slack_k = 1e-9;

static int check_names(int n, const char *const names[], const char *what, failure *error)
{
    if (n <= 0) {
        return fail(error, CEA_INVALID_SIZE, "%s: the species count must be at least 1 (got %d)", what, n);
    }
    if (names == nullptr) {
        return fail(error, CEA_INVALID_SIZE, "%s: the species name list is null", what);
    }
    for (int i = 0; i < n; ++i) {
        if (names[i] == nullptr) {
            return fail(error, CEA_INVALID_ARGUMENT, "%s: species name %d is null", what, i + 1);
        }
    }
    return CEA_OK;
}

void init_mixture(mixture *mix)
{
    mix->database = nullptr;
    mix->species_count = 0;
    mix->species = nullptr;
}

void release_mixture(mixture *mix)
{
    std::free(mix->species);
    init_mixture(mix);
}

static int allocate_species(const thermo_database *database, int count, const char *what, mixture *out, failure *error)
{
    init_mixture(out);
    // At least one slot: malloc(0) may return null, which is not a failure.
    const std::size_t slots = count > 0 ? static_cast<std::size_t>(count) : 1U;
    out->species = static_cast<int *>(std::malloc(slots * sizeof(int)));
    if (out->species == nullptr) {
        return fail(error, CEA_OUT_OF_MEMORY, "%s: out of memory", what);
    }
    out->database = database;
    return CEA_OK;
}

int mixture_from_names(const thermo_database *database, int n, const char *const names[], mixture *out, failure *error)
{
    init_mixture(out);
    int status = check_names(n, names, "mixture", error);
    if (status == CEA_OK) {
        status = allocate_species(database, n, "mixture", out, error);
    }
    for (int i = 0; i < n && status == CEA_OK; ++i) {
        int index = find_species(database, names[i]);
        if (index < 0) {
            status = fail(error, CEA_UNKNOWN_SPECIES, "species '%s' is not in the thermodynamic database", names[i]);
            break;
        }
        // A name finds one record, so a repeated name is a repeated index.
        for (int k = 0; k < out->species_count; ++k) {
            if (out->species[k] == index) {
                status = fail(error, CEA_INVALID_ARGUMENT, "species '%s' is named twice in one mixture", names[i]);
            }
        }
        out->species[out->species_count++] = index;
    }
    if (status != CEA_OK) {
        release_mixture(out);
    }
    return status;
}

static const int chosen_bits_species = 16384;

struct product_filter {
    const unsigned *symbols; // of the reactants' elements
    int symbol_count;
    const int *omitted;
    int omitted_count;
    // A compiled database's species are told by their element masks: formed
    // when no bit lies outside the reactants' (a symbol that no species has,
    // has no bit and rules none out).
    std::uint64_t allowed_mask;
};

static int is_omitted(const product_filter *filter, int index)
{
    for (int o = 0; o < filter->omitted_count; ++o) {
        if (filter->omitted[o] == index) {
            return 1;
        }
    }
    return 0;
}

// Asks the database for the species' part and elements only: a compiled
// database then builds the records of the products chosen, not of all.
static inline int is_formed(const product_filter *filter, const thermo_database *database, int index)
{
    if (database->file != nullptr) {
        const compiled_species *s = &compiled_directory(database)[index];
        if (s->mask_complete) {
            int formed = s->product & static_cast<int>((s->element_mask & ~filter->allowed_mask) == 0);
            return formed && (filter->omitted_count == 0 || !is_omitted(filter, index));
        }
    }
    unsigned codes[formula_pair_count];
    int count = 0;
    if (!record_elements(database, index, codes, &count)) {
        return 0;
    }
    for (int e = 0; e < count; ++e) {
        unsigned code = codes[e];
        int found = 0;
        for (int k = 0; k < filter->symbol_count && !found; ++k) {
            found = filter->symbols[k] == code;
        }
        if (!found) {
            return 0;
        }
    }
    return !is_omitted(filter, index);
}

// The products of a compiled database without omitted species, by the
// directory's masks alone: their bits set in chosen, their count returned.
static int choose_by_masks(const product_filter *filter, const thermo_database *database, std::uint64_t chosen[])
{
    const compiled_species *directory = compiled_directory(database);
    std::uint64_t outside = ~filter->allowed_mask;
    int count = 0;
    for (int j = 0; j < database->species_count; ++j) {
        const compiled_species *s = &directory[j];
        int formed = s->mask_complete ? static_cast<int>(s->product & ((s->element_mask & outside) == 0))
                                      : is_formed(filter, database, j);
        count += formed;
        chosen[j / 64] |= static_cast<std::uint64_t>(formed) << (j % 64);
    }
    return count;
}

int mixture_of_products(const thermo_database *database, int n, const char *const names[], int n_omit,
                        const char *const omit[], mixture *out, failure *error)
{
    init_mixture(out);
    int status = check_names(n, names, "product mixture", error);
    if (status != CEA_OK) {
        return status;
    }
    if (n_omit < 0) {
        return fail(error, CEA_INVALID_SIZE, "product mixture: the omit count must not be negative (got %d)", n_omit);
    }
    if (n_omit > 0 && omit == nullptr) {
        return fail(error, CEA_INVALID_SIZE, "product mixture: the omit list is null but its count is %d", n_omit);
    }
    // One scratch block: the reactants' element symbols, then the omitted
    // species.
    std::size_t symbol_capacity = static_cast<std::size_t>(n) * formula_pair_count;
    void *scratch = std::malloc(symbol_capacity * sizeof(unsigned) + static_cast<std::size_t>(n_omit) * sizeof(int));
    if (scratch == nullptr) {
        return fail(error, CEA_OUT_OF_MEMORY, "product mixture: out of memory");
    }
    unsigned *symbols = static_cast<unsigned *>(scratch);
    int *omitted = reinterpret_cast<int *>(symbols + symbol_capacity);
    product_filter filter = {symbols, 0, omitted, 0, 0};
    for (int i = 0; i < n && status == CEA_OK; ++i) {
        int index = find_species(database, names[i]);
        if (index < 0) {
            status = fail(error, CEA_UNKNOWN_SPECIES, "species '%s' is not in the thermodynamic database", names[i]);
            break;
        }
        const species_record *r = database_species(database, index);
        for (int e = 0; e < r->element_count; ++e) {
            unsigned code = element_symbol_code(record_element_symbol(r, e));
            int known = 0;
            for (int k = 0; k < filter.symbol_count && !known; ++k) {
                known = symbols[k] == code;
            }
            if (!known) {
                symbols[filter.symbol_count++] = code;
                int bit = database->file != nullptr ? compiled_element_bit(database, code) : -1;
                if (bit >= 0) {
                    filter.allowed_mask |= std::uint64_t{1} << bit;
                }
            }
        }
    }
    for (int i = 0; i < n_omit && status == CEA_OK; ++i) {
        if (omit[i] == nullptr) {
            status = fail(error, CEA_INVALID_ARGUMENT, "product mixture: omitted name %d is null", i + 1);
            break;
        }
        int index = find_species(database, omit[i]);
        if (index < 0) {
            status =
                fail(error, CEA_UNKNOWN_SPECIES, "omitted species '%s' is not in the thermodynamic database", omit[i]);
            break;
        }
        omitted[filter.omitted_count++] = index;
    }
    // Counted first, so that the list is allocated once at its size; the
    // species chosen are remembered, a bit each, for filling it (for a
    // database of up to chosen_bits_species; a larger one is asked twice).
    int count = 0;
    std::uint64_t chosen[chosen_bits_species / 64];
    int remembered = database->species_count <= chosen_bits_species;
    if (status == CEA_OK) {
        if (remembered) {
            std::memset(chosen, 0, (static_cast<std::size_t>(database->species_count) + 63) / 64 * sizeof chosen[0]);
        }
        int by_masks = remembered && database->file != nullptr && filter.omitted_count == 0;
        if (by_masks) {
            count = choose_by_masks(&filter, database, chosen);
        }
        for (int j = 0; j < database->species_count && !by_masks; ++j) {
            int formed = is_formed(&filter, database, j);
            count += formed;
            if (remembered) {
                chosen[j / 64] |= static_cast<std::uint64_t>(formed) << (j % 64);
            }
        }
        if (count == 0) {
            status =
                fail(error, CEA_INVALID_ARGUMENT, "product mixture: no product species can form from these reactants");
        }
    }
    if (status == CEA_OK) {
        status = allocate_species(database, count, "product mixture", out, error);
    }
    if (status == CEA_OK && remembered) {
        // The chosen bits in order, a word at a time.
        for (int w = 0; w < (database->species_count + 63) / 64; ++w) {
            for (std::uint64_t bits = chosen[w]; bits != 0; bits &= bits - 1) {
                out->species[out->species_count++] = w * 64 + __builtin_ctzll(bits);
            }
        }
    } else if (status == CEA_OK) {
        for (int j = 0; j < database->species_count; ++j) {
            if (is_formed(&filter, database, j) != 0) {
                out->species[out->species_count++] = j;
            }
        }
    }
    std::free(scratch);
    return status;
}

static int sum_composition(int n, const double values[], const char *what, double *sum, failure *error)
{
    double total = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(values[i]) || values[i] < 0.0) {
            return fail(error, CEA_INVALID_ARGUMENT, "%s weight %d must be finite and not negative", what, i + 1);
        }
        total += values[i];
    }
    if (!(total > 0.0) || !std::isfinite(total)) {
        return fail(error, CEA_INVALID_ARGUMENT, "%s weights must not all be zero", what);
    }
    *sum = total;
    return CEA_OK;
}

int ratio_to_weights(const mixture *mix, int n, const double oxidant[], const double fuel[], double of_ratio,
                     double weights[], failure *error)
{
    int count = mix->species_count;
    if (n != count) {
        return fail(error, CEA_INVALID_SIZE, "mixture ratio: %d weights given for a mixture of %d species", n, count);
    }
    if (oxidant == nullptr || fuel == nullptr || weights == nullptr) {
        return fail(error, CEA_INVALID_SIZE, "mixture ratio: a composition or the weight array is null");
    }
    if (!std::isfinite(of_ratio) || of_ratio < 0.0) {
        return fail(error, CEA_INVALID_ARGUMENT,
                    "mixture ratio: the oxidizer-to-fuel ratio must be finite and not negative");
    }
    double oxidant_sum = 0.0;
    double fuel_sum = 0.0;
    int status = sum_composition(n, oxidant, "oxidant", &oxidant_sum, error);
    if (status == CEA_OK) {
        status = sum_composition(n, fuel, "fuel", &fuel_sum, error);
    }
    if (status != CEA_OK) {
        return status;
    }
    for (int i = 0; i < n; ++i) {
        weights[i] = (of_ratio * (oxidant[i] / oxidant_sum) + fuel[i] / fuel_sum) / (1.0 + of_ratio);
    }
    return CEA_OK;
}

int species_enthalpy_over_r(const mixture *mix, int species, double t, double *h_over_r_k, failure *error)
{
    const species_record *r = mixture_species(mix, species);
    if (!std::isfinite(t) || t <= 0.0) {
        return fail(error, CEA_INVALID_ARGUMENT, "the temperature of %s must be a positive number", record_name(r));
    }
    if (r->interval_count == 0) {
        if (std::fabs(t - r->assigned_temperature_k) > assigned_enthalpy_window_k + window_rounding_slack_k) {
            return fail(error, CEA_TEMPERATURE_RANGE,
                        "%s has an enthalpy only at %.3f K; %.3f K is more than %.0f K away", record_name(r),
                        r->assigned_temperature_k, t, assigned_enthalpy_window_k);
        }
        *h_over_r_k = r->enthalpy_j_mol * moles_per_kilomole / gas_constant_j_kmol_k;
        return CEA_OK;
    }
    const thermo_interval *first = record_intervals(r);
    for (int i = 0; i < r->interval_count; ++i) {
        const thermo_interval *in = first + i;
        if (t >= in->t_low_k && t <= in->t_high_k) {
            const double *a = in->a;
            double h_rt = -a[0] * (1.0 / (t * t)) + a[1] * std::log(t) / t + a[2] + a[3] * t / 2.0 +
                          a[4] * (t * t) / 3.0 + a[5] * (t * t * t) / 4.0 + a[6] * (t * t * t * t) / 5.0 + in->b[0] / t;
            *h_over_r_k = h_rt * t;
            return CEA_OK;
        }
    }
    return fail(error, CEA_TEMPERATURE_RANGE, "%s has data from %.2f K to %.2f K only; %.3f K is outside",
                record_name(r), first->t_low_k, first[r->interval_count - 1].t_high_k, t);
}

int reactant_enthalpy(const mixture *mix, int n_weights, const double weights[], int n_temperatures,
                      const double temperatures[], double *enthalpy_j_kg, failure *error)
{
    int count = mix->species_count;
    if (n_weights != count || n_temperatures != count) {
        return fail(error, CEA_INVALID_SIZE,
                    "reactant enthalpy: %d weights and %d temperatures given for a mixture of %d species", n_weights,
                    n_temperatures, count);
    }
    if (weights == nullptr || temperatures == nullptr) {
        return fail(error, CEA_INVALID_SIZE, "reactant enthalpy: the weight or temperature array is null");
    }
    double weight_sum = 0.0;
    int status = sum_composition(count, weights, "reactant", &weight_sum, error);
    if (status != CEA_OK) {
        return status;
    }
    // Sum of w_j (H_j/R)/M_j in kmol K/kg, then times R. A species of zero
    // weight is not present, so its temperature is not looked at.
    double h_over_r = 0.0;
    for (int i = 0; i < count; ++i) {
        if (weights[i] == 0.0) {
            continue;
        }
        double species_h_over_r = 0.0;
        status = species_enthalpy_over_r(mix, i, temperatures[i], &species_h_over_r, error);
        if (status != CEA_OK) {
            return status;
        }
        h_over_r += species_h_over_r / mixture_species(mix, i)->molecular_weight_kg_kmol * weights[i];
    }
    // Per kilogram of the mixture whatever scale the weights come in (the
    // solver takes its amounts per unit mass the same way).
    *enthalpy_j_kg = h_over_r / weight_sum * gas_constant_j_kmol_k;
    return CEA_OK;
}

} // namespace cea_impl
