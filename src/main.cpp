// lre-perf: steady-state performance of a liquid rocket engine.
//
// This unit is the program's front end: it reads the command line, fills the
// reference case from the selected module's presets and the user's overrides,
// and checks the ranges that the command line is responsible for.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine_records.h"

// Turns the TQ-12B reference specific impulse, known in seconds, into m/s.
static const double standard_gravity = 9.80665;

// Shown in the usage text when the command line carries no program name.
static const char *const fallback_program_name = "lre-perf";

// Command-line throttle bounds, as fractions of 100 %.
static const double tq12b_lambda_min = 0.4;
static const double tq12b_lambda_max = 1.1;
static const double yf100k_lambda_min = 0.65;
static const double yf100k_lambda_max = 1.05;
// The standard atmosphere is defined from sea level to 86 km.
static const double altitude_max_m = 86000.0;
// Nozzle area ratios for which the YF-100K reference data hold.
static const double yf100k_epsilon_min = 20.0;
static const double yf100k_epsilon_max = 36.0;

static const double pa_per_mpa = 1000000.0;
static const double m_per_km = 1000.0;
static const double percent_per_unit = 100.0;

[[maybe_unused]] static const char *engine_name(int module)
{
    if (module == ENGINE_TQ15B) {
        return "TQ-15B";
    }
    if (module == ENGINE_YF100K) {
        return "YF-100K family";
    }
    return "TQ-12B";
}

// Overwrites every field of *engine with the presets of the module; a module
// value the command line cannot produce falls back to the TQ-12B presets.
static void set_defaults(int module, engine_case *engine)
{
    std::memset(engine, 0, sizeof *engine);

    engine->cycle = CYCLE_GAS_GENERATOR;
    engine->lambda = 1.0;
    engine->k = 2.9;
    engine->beta = 0.09;
    engine->p_c = 14000000.0;
    engine->eta_c_star = 0.97;
    engine->eta_c_f = 0.97;
    engine->t_o = 90.0;
    engine->t_f = 111.0;

    if (module == ENGINE_YF100K) {
        engine->cycle = CYCLE_STAGED_COMBUSTION;
        engine->thrust_ref = 1250000.0;
        engine->isp_ref = 2958.0;
        engine->k_en = 2.6;
        engine->k = 2.6;
        engine->beta = 0.0;
        engine->p_c = 18700000.0;
        engine->epsilon = 35.0;
        engine->eta_c_star = 0.995;
        // Derived from the reference thrust by the model for each epsilon.
        engine->eta_c_f = 0.0;
        engine->t_o = 90.17;
        engine->t_f = 298.15;
        engine->p_atm = 101325.0;
    } else if (module == ENGINE_TQ15B) {
        engine->thrust_ref = 1183000.0;
        engine->isp_ref = 3500.0;
        // No separate engine mixture ratio is known for this module.
        engine->k_en = engine->k;
        engine->epsilon = 50.0;
        // Its reference data are vacuum values.
        engine->p_atm = 0.0;
    } else {
        engine->thrust_ref = 1000000.0;
        engine->isp_ref = 293.0 * standard_gravity;
        engine->k_en = 2.9;
        engine->epsilon = 20.5;
        engine->p_atm = 101325.0;
    }
}

// Strict conversion of a whole word: no trailing characters, no range error,
// no NaN or infinity. The converted value is stored even when rejected.
static int parse_number(const char *text, double *value)
{
    if (text == nullptr || value == nullptr) {
        return 0;
    }
    char *end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text, &end);
    *value = parsed;
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(parsed)) {
        return 0;
    }
    return 1;
}

static void print_usage(const char *program_name)
{
    std::printf("Usage: %s THERMO_LIB [options]\n", program_name);
    std::puts("  --engine tq12b|tq15b|yf100k  Select the module (default: tq12b)");
    std::puts("  --beta VALUE               Other-branch mass fraction beta (TQ only)");
    std::puts("  --pc-mpa VALUE             Reference p_c, MPa (TQ only)");
    std::puts("  --k VALUE                  Thrust-chamber K (TQ only)");
    std::puts("  --epsilon VALUE            Nozzle area ratio epsilon = A_e / A_t");
    std::puts("  --eta-c-star VALUE         Efficiency eta_c* (TQ only)");
    std::puts("  --eta-cf VALUE             Efficiency eta_C_F (TQ only)");
    std::puts("  --t-oxygen-k VALUE         Oxidizer inlet T_o, K (TQ only)");
    std::puts("  --t-methane-k VALUE        Fuel inlet T_f, K (TQ only)");
    std::puts("  --throttle-pct VALUE       lambda: TQ-12B 40-110%, YF-100K 65-105%");
    std::puts("  --altitude-km VALUE        Geometric h, 0 to 86 km (TQ-12B/YF-100K)");
    std::puts("  --burn-s VALUE             Burn duration t_b for constant-thrust total impulse");
    std::puts("  --json                     Print machine-readable JSON for the user interface");
    std::puts("YF-100K: epsilon 20 to 36; reference eta_C_F is recalculated for each epsilon.");
    std::puts("THERMO_LIB is the path to CEA's thermo.lib database.");
}

// Options that would move the YF-100K module away from its reference data.
static int is_fixed_for_yf100k(const char *option)
{
    static const char *const fixed_options[] = {
        "--beta", "--pc-mpa", "--k", "--eta-c-star", "--eta-cf", "--t-oxygen-k", "--t-methane-k",
    };
    for (const char *fixed : fixed_options) {
        if (std::strcmp(option, fixed) == 0) {
            return 1;
        }
    }
    return 0;
}

// Selects the module from the command-line key; returns 0 for any other word.
static int parse_engine_key(const char *key, int *module)
{
    if (std::strcmp(key, "tq12b") == 0) {
        *module = ENGINE_TQ12B;
    } else if (std::strcmp(key, "tq15b") == 0) {
        *module = ENGINE_TQ15B;
    } else if (std::strcmp(key, "yf100k") == 0) {
        *module = ENGINE_YF100K;
    } else {
        return 0;
    }
    return 1;
}

// Outcome of applying one option with its value.
enum option_result { option_applied, option_unknown, option_refused };

static option_result apply_option(int module, const char *option, double value, engine_case *reference)
{
    if (std::strcmp(option, "--beta") == 0) {
        reference->beta = value;
    } else if (std::strcmp(option, "--pc-mpa") == 0) {
        reference->p_c = value * pa_per_mpa;
    } else if (std::strcmp(option, "--k") == 0) {
        reference->k = value;
        // TQ-15B has one mixture ratio for chamber and engine alike.
        if (module == ENGINE_TQ15B) {
            reference->k_en = value;
        }
    } else if (std::strcmp(option, "--epsilon") == 0) {
        reference->epsilon = value;
    } else if (std::strcmp(option, "--eta-c-star") == 0) {
        reference->eta_c_star = value;
    } else if (std::strcmp(option, "--eta-cf") == 0) {
        reference->eta_c_f = value;
    } else if (std::strcmp(option, "--t-oxygen-k") == 0) {
        reference->t_o = value;
    } else if (std::strcmp(option, "--t-methane-k") == 0) {
        reference->t_f = value;
    } else if (std::strcmp(option, "--throttle-pct") == 0) {
        if (module == ENGINE_TQ15B) {
            std::fputs("Throttle input is available for TQ-12B and YF-100K only.\n", stderr);
            return option_refused;
        }
        reference->lambda = value / percent_per_unit;
    } else if (std::strcmp(option, "--altitude-km") == 0) {
        reference->h = value * m_per_km;
    } else if (std::strcmp(option, "--burn-s") == 0) {
        reference->t_b = value;
    } else {
        return option_unknown;
    }
    return option_applied;
}

// Inclusive range test that also refuses NaN.
static int within(double value, double low, double high)
{
    return value >= low && value <= high;
}

// Checks what the command line is responsible for, in a fixed order; writes
// the first failure's message to standard error.
static int validate_reference(int module, const engine_case *reference)
{
    const char *message = nullptr;
    if (module == ENGINE_YF100K && !within(reference->lambda, yf100k_lambda_min, yf100k_lambda_max)) {
        message = "YF-100K throttle percentage must be between 65 and 105.\n";
    } else if (module == ENGINE_TQ12B && !within(reference->lambda, tq12b_lambda_min, tq12b_lambda_max)) {
        message = "TQ-12B throttle percentage must be between 40 and 110.\n";
    } else if (!within(reference->h, 0.0, altitude_max_m)) {
        message = "Altitude must be between 0 and 86 km geometric altitude.\n";
    } else if (module == ENGINE_TQ15B && reference->h != 0.0) {
        message = "The TQ-15B module uses vacuum conditions and does not vary altitude.\n";
    } else if (module == ENGINE_YF100K && !within(reference->epsilon, yf100k_epsilon_min, yf100k_epsilon_max)) {
        message = "YF-100K epsilon must be between 20 and 36.\n";
    }
    if (message != nullptr) {
        std::fputs(message, stderr);
        return 0;
    }
    return 1;
}

int main(int argc, char **argv)
{
    // An empty argument vector leaves argv[0] null; Linux then hands the
    // program a single empty word instead. Neither names the program.
    const char *program_name = fallback_program_name;
    if (argc > 0 && argv[0] != nullptr && argv[0][0] != '\0') {
        program_name = argv[0];
    }

    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        print_usage(program_name);
        return argc < 2 ? 1 : 0;
    }
    const char *thermo_lib = argv[1];

    // Module pass: the presets must be known before any override is applied,
    // wherever "--engine" stands.
    int module = ENGINE_TQ12B;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--engine") != 0) {
            continue;
        }
        if (i + 1 >= argc) {
            print_usage(program_name);
            return 1;
        }
        if (!parse_engine_key(argv[i + 1], &module)) {
            std::fputs("Engine must be tq12b, tq15b, or yf100k.\n", stderr);
            return 1;
        }
        ++i;
    }

    engine_case reference;
    set_defaults(module, &reference);

    // Override pass.
    int json = 0;
    int i = 2;
    while (i < argc) {
        const char *option = argv[i];
        if (std::strcmp(option, "--engine") == 0) {
            // The module pass has seen this word and checked its value.
            if (i + 1 >= argc) {
                print_usage(program_name);
                return 1;
            }
            i += 2;
            continue;
        }
        if (std::strcmp(option, "--json") == 0) {
            json = 1;
            i += 1;
            continue;
        }
        double value = 0.0;
        if (i + 1 >= argc || !parse_number(argv[i + 1], &value)) {
            print_usage(program_name);
            return 1;
        }
        if (module == ENGINE_YF100K && is_fixed_for_yf100k(option)) {
            std::fprintf(stderr, "%s is not adjustable in the YF-100K module.\n", option);
            return 1;
        }
        const option_result applied = apply_option(module, option, value, &reference);
        if (applied == option_refused) {
            return 1;
        }
        if (applied == option_unknown) {
            print_usage(program_name);
            return 1;
        }
        i += 2;
    }

    if (!validate_reference(module, &reference)) {
        return 1;
    }

    // The run itself follows once the chamber and the model are in place.
    (void)thermo_lib;
    (void)json;
    return 0;
}
