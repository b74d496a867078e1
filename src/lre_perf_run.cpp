// lre-perf's run: reads the command line, fills the reference case from the
// selected module's presets and the user's overrides, checks the ranges
// that the command line is responsible for, solves the operating point and
// prints the report.
#include "lre_perf_run.h"

#include <cstring>

#include "case_options.h"
#include "case_solver.h"
#include "cea_chamber.h"
#include "engine_modules.h"
#include "json_output.h"
#include "text_report.h"

// Shown in the usage text when the command line carries no program name.
static const char *const fallback_program_name = "lre-perf";

static void print_usage(std::FILE *out, const char *program_name)
{
    std::fprintf(out, "Usage: %s THERMO_LIB [options]\n", program_name);
    std::fputs("  --engine tq12b|tq15b|yf100k  Select the module (default: tq12b)\n"
               "  --beta VALUE               Other-branch mass fraction beta (TQ only)\n"
               "  --pc-mpa VALUE             Reference p_c, MPa (TQ only)\n"
               "  --k VALUE                  Thrust-chamber K (TQ only)\n"
               "  --epsilon VALUE            Nozzle area ratio epsilon = A_e / A_t\n"
               "  --eta-c-star VALUE         Efficiency eta_c* (TQ only)\n"
               "  --eta-cf VALUE             Efficiency eta_C_F (TQ only)\n"
               "  --t-oxygen-k VALUE         Oxidizer inlet T_o, K (TQ only)\n"
               "  --t-methane-k VALUE        Fuel inlet T_f, K (TQ only)\n",
               out);
    std::fprintf(out, "  --throttle-pct VALUE       lambda: TQ-12B %g-%g%%, YF-100K %g-%g%%\n",
                 tq12b_throttle_min_percent, tq12b_throttle_max_percent, yf100k_throttle_min_percent,
                 yf100k_throttle_max_percent);
    std::fprintf(out, "  --altitude-km VALUE        Geometric h, %g to %g km (TQ-12B/YF-100K)\n", altitude_min_km,
                 altitude_max_km);
    std::fputs("  --burn-s VALUE             Burn duration t_b for constant-thrust total impulse\n"
               "  --json                     Print machine-readable JSON for the user interface\n",
               out);
    std::fprintf(out, "YF-100K: epsilon %g to %g; reference eta_C_F is recalculated for each epsilon.\n",
                 yf100k_epsilon_min, yf100k_epsilon_max);
    std::fputs("THERMO_LIB is the path to CEA's thermo.lib database.\n", out);
}

int lre_perf_run(int argc, char **argv, std::FILE *out, std::FILE *err)
{
    // An empty argument vector leaves argv[0] null; Linux then hands the
    // program a single empty word instead. Neither names the program.
    const char *program_name = fallback_program_name;
    if (argc > 0 && argv[0] != nullptr && argv[0][0] != '\0') {
        program_name = argv[0];
    }

    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        print_usage(out, program_name);
        return argc < 2 ? 1 : 0;
    }
    const char *thermo_lib = argv[1];
    char message[error_buffer_size] = {0};

    // Module pass: the presets must be known before any override is applied,
    // wherever "--engine" stands.
    int module = ENGINE_TQ12B;
    const option_outcome selected = select_engine_module(argc - 2, argv + 2, &module, message, error_buffer_size);
    if (selected == OPTION_BAD_VALUE) {
        print_usage(out, program_name);
        return 1;
    }
    if (selected != OPTION_APPLIED) {
        std::fprintf(err, "%s\n", message);
        return 1;
    }

    engine_case reference;
    set_defaults(module, &reference);

    // Override pass. Errors of form print the usage text, errors of content
    // one message.
    int json = 0;
    int i = 2;
    while (i < argc) {
        const char *option = argv[i];
        if (std::strcmp(option, "--engine") == 0) {
            // The module pass has seen this word and checked its value.
            i += 2;
            continue;
        }
        if (std::strcmp(option, "--json") == 0) {
            json = 1;
            i += 1;
            continue;
        }
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        const option_outcome applied = apply_case_option(module, option, value, &reference, message, error_buffer_size);
        if (applied == OPTION_REFUSED) {
            std::fprintf(err, "%s\n", message);
            return 1;
        }
        if (applied != OPTION_APPLIED) {
            print_usage(out, program_name);
            return 1;
        }
        i += 2;
    }

    if (!validate_case_ranges(module, &reference, message, error_buffer_size)) {
        std::fprintf(err, "%s\n", message);
        return 1;
    }

    // Run sequence: one chamber for the whole run, closed on every path on
    // which it was opened.
    char error_buffer[error_buffer_size] = {0};
    cea_chamber chamber = {};
    if (!cea_chamber_open(&chamber, thermo_lib, engine_fuel_rp1(module), error_buffer, error_buffer_size)) {
        std::fprintf(err, "CEA initialization: %s\n", error_buffer);
        return 1;
    }
    engine_case operating;
    chamber_state state;
    engine_results results;
    if (!calculate_case(&chamber, &reference, &operating, &state, &results, error_buffer, error_buffer_size)) {
        std::fprintf(err, "Calculation failed: %s\n", error_buffer);
        cea_chamber_close(&chamber);
        return 1;
    }
    const solved_case solved = {module, &reference, &operating, &state, &results};
    if (json) {
        write_json_case(out, &solved, JSON_DOCUMENT);
    } else {
        write_text_report(out, &solved);
    }
    cea_chamber_close(&chamber);
    return 0;
}
