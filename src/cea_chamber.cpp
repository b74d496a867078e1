// The only module that talks to the chemical-equilibrium library: it keeps
// the library objects for liquid oxygen and one fuel, and turns a chamber
// pressure, mixture ratio and inlet temperatures into a chamber state from an
// enthalpy-pressure equilibrium of the propellants at their inlet enthalpy.
#include "cea_chamber.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

// The library's enthalpy is divided by its own gas constant (not the
// 8314.462618 of the nozzle model) to give the h/R its HP problem expects.
static const double cea_gas_constant_j_kmol_k = 8314.51;
static const double pa_per_bar = 100000.0;
// Capacity of the local copy of the library's error text; a text is fetched
// only when it fits whole, so longer ones are dropped rather than cut.
static const int library_text_capacity_bytes = 256;
static const int species_count = 2;

static const char oxidizer_name[] = "O2(L)";
static const char fuel_name_rp1[] = "RP-1";
static const char fuel_name_methane[] = "CH4(L)";

static int positive_finite(double value) { return std::isfinite(value) && value > 0.0; }

// Writes a fixed message, cut to the caller's buffer and terminated.
static void write_message(char *error_buffer, int error_size, const char *message)
{
    std::snprintf(error_buffer, static_cast<std::size_t>(error_size), "%s", message);
}

// 1 for a library status of 0; otherwise writes "<step> failed (CEA code N)"
// followed by ": " and the library's last error text when there is one.
static int cea_ok(int status, const char *step, char *error_buffer, int error_size)
{
    if (status == CEA_OK) {
        return 1;
    }
    char text[library_text_capacity_bytes] = {};
    int length = 0;
    if (cea_last_error_message_len(&length) == CEA_OK && length >= 1 && length < library_text_capacity_bytes) {
        cea_last_error_message_buf(text, library_text_capacity_bytes);
        // The zero fill terminates any text the library copies correctly; a
        // library that fills every byte would otherwise send the format
        // below reading past the buffer.
        text[library_text_capacity_bytes - 1] = '\0';
    }
    const char *separator = text[0] != '\0' ? ": " : "";
    std::snprintf(error_buffer, static_cast<std::size_t>(error_size), "%s failed (CEA code %d)%s%s", step, status,
                  separator, text);
    return 0;
}

// Zeroed, not released: the caller closes a record before reopening it.
static void clear_chamber(cea_chamber *chamber, char *error_buffer)
{
    chamber->reactants = nullptr;
    chamber->products = nullptr;
    chamber->solver = nullptr;
    chamber->solution = nullptr;
    error_buffer[0] = '\0';
}

int cea_chamber_open(cea_chamber *chamber, const char *thermo_lib, int fuel_rp1, char *error_buffer, int error_size)
{
    if (chamber == nullptr || thermo_lib == nullptr || error_buffer == nullptr || error_size <= 0 ||
        (fuel_rp1 != 0 && fuel_rp1 != 1)) {
        return 0;
    }
    clear_chamber(chamber, error_buffer);
    if (!cea_ok(cea_set_log_level(0), "CEA log setup", error_buffer, error_size) ||
        !cea_ok(cea_init_thermo(thermo_lib), "CEA thermo database", error_buffer, error_size)) {
        return 0;
    }
    return cea_chamber_create(chamber, fuel_rp1, error_buffer, error_size);
}

int cea_chamber_create(cea_chamber *chamber, int fuel_rp1, char *error_buffer, int error_size)
{
    if (chamber == nullptr || error_buffer == nullptr || error_size <= 0 || (fuel_rp1 != 0 && fuel_rp1 != 1)) {
        return 0;
    }
    clear_chamber(chamber, error_buffer);

    const char *const names[species_count] = {oxidizer_name, fuel_rp1 == 1 ? fuel_name_rp1 : fuel_name_methane};
    if (!cea_ok(cea_mixture_create(&chamber->reactants, species_count, names), "CEA reactant mixture", error_buffer,
                error_size) ||
        !cea_ok(cea_mixture_create_from_reactants(&chamber->products, species_count, names, 0, nullptr),
                "CEA product mixture", error_buffer, error_size) ||
        !cea_ok(cea_eqsolver_create_with_reactants(&chamber->solver, chamber->products, chamber->reactants),
                "CEA equilibrium solver", error_buffer, error_size) ||
        !cea_ok(cea_eqsolution_create(&chamber->solution, chamber->solver), "CEA equilibrium solution", error_buffer,
                error_size)) {
        cea_chamber_close(chamber);
        return 0;
    }
    return 1;
}

int cea_chamber_solve(cea_chamber *chamber, double p_c, double k, double t_o, double t_f, chamber_state *state,
                      char *error_buffer, int error_size)
{
    if (chamber == nullptr || chamber->solution == nullptr || state == nullptr || error_buffer == nullptr ||
        error_size <= 0 || !positive_finite(p_c) || !positive_finite(k) || !positive_finite(t_o) ||
        !positive_finite(t_f)) {
        return 0;
    }
    error_buffer[0] = '\0';

    // Pure oxidizer and pure fuel, in the order of the reactant mixture.
    const double oxidant[species_count] = {1.0, 0.0};
    const double fuel[species_count] = {0.0, 1.0};
    double weights[species_count] = {0.0, 0.0};
    if (!cea_ok(cea_mixture_of_ratio_to_weights(chamber->reactants, species_count, oxidant, fuel, k, weights),
                "CEA mixture ratio", error_buffer, error_size)) {
        return 0;
    }

    const double temperatures[species_count] = {t_o, t_f};
    double enthalpy = 0.0;
    if (!cea_ok(cea_mixture_calc_property_multitemp(chamber->reactants, CEA_ENTHALPY, species_count, weights,
                                                    species_count, temperatures, &enthalpy),
                "CEA inlet enthalpy", error_buffer, error_size)) {
        return 0;
    }

    if (!cea_ok(cea_eqsolver_solve(chamber->solver, CEA_HP, enthalpy / cea_gas_constant_j_kmol_k, p_c / pa_per_bar,
                                   weights, chamber->solution),
                "CEA HP equilibrium", error_buffer, error_size)) {
        return 0;
    }

    int converged = 0;
    if (!cea_ok(cea_eqsolution_get_converged(chamber->solution, &converged), "CEA convergence check", error_buffer,
                error_size)) {
        return 0;
    }
    if (converged == 0) {
        write_message(error_buffer, error_size, "CEA HP equilibrium did not converge");
        return 0;
    }

    double cp = 0.0;
    double cv = 0.0;
    if (!cea_ok(cea_eqsolution_get_property(chamber->solution, CEA_TEMPERATURE, &state->t_c), "CEA chamber temperature",
                error_buffer, error_size) ||
        !cea_ok(cea_eqsolution_get_property(chamber->solution, CEA_M, &state->m_r), "CEA molecular weight",
                error_buffer, error_size) ||
        !cea_ok(cea_eqsolution_get_property(chamber->solution, CEA_FROZEN_CP, &cp), "CEA frozen heat capacity cp",
                error_buffer, error_size) ||
        !cea_ok(cea_eqsolution_get_property(chamber->solution, CEA_FROZEN_CV, &cv), "CEA frozen heat capacity cv",
                error_buffer, error_size)) {
        return 0;
    }
    state->gamma = cp / cv;

    // A converged solve can still hand back values the nozzle model cannot
    // use (a zero cv, a gamma of 1); stop them here with a clear message.
    if (!positive_finite(state->t_c) || !positive_finite(state->m_r) || !std::isfinite(state->gamma) ||
        !(state->gamma > 1.0)) {
        write_message(error_buffer, error_size, "CEA returned an invalid chamber state");
        return 0;
    }
    return 1;
}

void cea_chamber_close(cea_chamber *chamber)
{
    if (chamber == nullptr) {
        return;
    }
    // Reverse order of creation: each object is released before the ones it
    // was built from.
    if (chamber->solution != nullptr) {
        cea_eqsolution_destroy(&chamber->solution);
    }
    if (chamber->solver != nullptr) {
        cea_eqsolver_destroy(&chamber->solver);
    }
    if (chamber->products != nullptr) {
        cea_mixture_destroy(&chamber->products);
    }
    if (chamber->reactants != nullptr) {
        cea_mixture_destroy(&chamber->reactants);
    }
    chamber->reactants = nullptr;
    chamber->products = nullptr;
    chamber->solver = nullptr;
    chamber->solution = nullptr;
}
