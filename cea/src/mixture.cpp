#include "mixture.h"

#include <cmath>
#include <cstring>
#include <string>

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

static void append_species(const thermo_database *database, int index, mixture *out)
{
    species_record record = database->species[static_cast<std::size_t>(index)];
    int first = static_cast<int>(out->intervals.size());
    for (int i = 0; i < record.interval_count; ++i) {
        out->intervals.push_back(database->intervals[static_cast<std::size_t>(record.first_interval + i)]);
    }
    record.first_interval = first;
    out->species.push_back(record);
}

static int contains_name(const mixture *mix, const char *name)
{
    for (const species_record &s : mix->species) {
        if (std::strcmp(s.name, name) == 0) {
            return 1;
        }
    }
    return 0;
}

int mixture_from_names(const thermo_database *database, int n, const char *const names[], mixture *out,
                       failure *error)
{
    int status = check_names(n, names, "mixture", error);
    if (status != CEA_OK) {
        return status;
    }
    out->species.clear();
    out->intervals.clear();
    out->species.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        int index = find_species(database, names[i]);
        if (index < 0) {
            return fail(error, CEA_UNKNOWN_SPECIES, "species '%s' is not in the thermodynamic database", names[i]);
        }
        if (contains_name(out, names[i])) {
            return fail(error, CEA_INVALID_ARGUMENT, "species '%s' is named twice in one mixture", names[i]);
        }
        append_species(database, index, out);
    }
    return CEA_OK;
}

static int has_symbol(const std::vector<std::string> &symbols, const char *symbol)
{
    for (const std::string &s : symbols) {
        if (s == symbol) {
            return 1;
        }
    }
    return 0;
}

int mixture_of_products(const thermo_database *database, int n, const char *const names[], int n_omit,
                        const char *const omit[], mixture *out, failure *error)
{
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
    std::vector<std::string> symbols;
    for (int i = 0; i < n; ++i) {
        int index = find_species(database, names[i]);
        if (index < 0) {
            return fail(error, CEA_UNKNOWN_SPECIES, "species '%s' is not in the thermodynamic database", names[i]);
        }
        const species_record &r = database->species[static_cast<std::size_t>(index)];
        for (int e = 0; e < r.element_count; ++e) {
            if (!has_symbol(symbols, r.element_symbols[e])) {
                symbols.emplace_back(r.element_symbols[e]);
            }
        }
    }
    std::vector<int> omitted;
    for (int i = 0; i < n_omit; ++i) {
        if (omit[i] == nullptr) {
            return fail(error, CEA_INVALID_ARGUMENT, "product mixture: omitted name %d is null", i + 1);
        }
        int index = find_species(database, omit[i]);
        if (index < 0) {
            return fail(error, CEA_UNKNOWN_SPECIES, "omitted species '%s' is not in the thermodynamic database",
                        omit[i]);
        }
        omitted.push_back(index);
    }
    out->species.clear();
    out->intervals.clear();
    for (std::size_t j = 0; j < database->species.size(); ++j) {
        const species_record &r = database->species[j];
        if (!r.product) {
            continue;
        }
        int formed = 1;
        for (int e = 0; e < r.element_count && formed; ++e) {
            formed = has_symbol(symbols, r.element_symbols[e]);
        }
        for (int o : omitted) {
            if (static_cast<std::size_t>(o) == j) {
                formed = 0;
            }
        }
        if (formed) {
            append_species(database, static_cast<int>(j), out);
        }
    }
    if (out->species.empty()) {
        return fail(error, CEA_INVALID_ARGUMENT, "product mixture: no product species can form from these reactants");
    }
    return CEA_OK;
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
    int count = static_cast<int>(mix->species.size());
    if (n != count) {
        return fail(error, CEA_INVALID_SIZE, "mixture ratio: %d weights given for a mixture of %d species", n, count);
    }
    if (oxidant == nullptr || fuel == nullptr || weights == nullptr) {
        return fail(error, CEA_INVALID_SIZE, "mixture ratio: a composition or the weight array is null");
    }
    if (!std::isfinite(of_ratio) || of_ratio < 0.0) {
        return fail(error, CEA_INVALID_ARGUMENT, "mixture ratio: the oxidizer-to-fuel ratio must be finite and not negative");
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
    const species_record &r = mix->species[static_cast<std::size_t>(species)];
    if (!std::isfinite(t) || t <= 0.0) {
        return fail(error, CEA_INVALID_ARGUMENT, "the temperature of %s must be a positive number", r.name);
    }
    if (r.interval_count == 0) {
        if (std::fabs(t - r.assigned_temperature_k) > assigned_enthalpy_window_k + window_rounding_slack_k) {
            return fail(error, CEA_TEMPERATURE_RANGE,
                        "%s has an enthalpy only at %.3f K; %.3f K is more than %.0f K away", r.name,
                        r.assigned_temperature_k, t, assigned_enthalpy_window_k);
        }
        *h_over_r_k = r.enthalpy_j_mol * moles_per_kilomole / gas_constant_j_kmol_k;
        return CEA_OK;
    }
    const thermo_interval *first = &mix->intervals[static_cast<std::size_t>(r.first_interval)];
    for (int i = 0; i < r.interval_count; ++i) {
        const thermo_interval *in = first + i;
        if (t >= in->t_low_k && t <= in->t_high_k) {
            const double *a = in->a;
            double h_rt = -a[0] * (1.0 / (t * t)) + a[1] * std::log(t) / t + a[2] + a[3] * t / 2.0 +
                          a[4] * (t * t) / 3.0 + a[5] * (t * t * t) / 4.0 + a[6] * (t * t * t * t) / 5.0 +
                          in->b[0] / t;
            *h_over_r_k = h_rt * t;
            return CEA_OK;
        }
    }
    return fail(error, CEA_TEMPERATURE_RANGE, "%s has data from %.2f K to %.2f K only; %.3f K is outside", r.name,
                first->t_low_k, first[r.interval_count - 1].t_high_k, t);
}

int reactant_enthalpy(const mixture *mix, int n_weights, const double weights[], int n_temperatures,
                      const double temperatures[], double *enthalpy_j_kg, failure *error)
{
    int count = static_cast<int>(mix->species.size());
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
        h_over_r += species_h_over_r / mix->species[static_cast<std::size_t>(i)].molecular_weight_kg_kmol * weights[i];
    }
    // Per kilogram of the mixture whatever scale the weights come in (the
    // solver takes its amounts per unit mass the same way).
    *enthalpy_j_kg = h_over_r / weight_sum * gas_constant_j_kmol_k;
    return CEA_OK;
}

}  // namespace cea_impl
