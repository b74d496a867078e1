// lre-perf: steady-state performance of a liquid rocket engine.
//
// This unit is the program's front end: it reads the command line, fills the
// reference case from the selected module's presets and the user's overrides,
// checks the ranges that the command line is responsible for, solves the
// operating point (bisecting the chamber pressure of a throttled case) and
// prints the report.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cea_chamber.h"
#include "engine_model.h"
#include "engine_records.h"
#include "json_output.h"

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
static const double n_per_kn = 1000.0;
static const double ns_per_mns = 1000000.0;
static const double percent_per_unit = 100.0;

// Size of the buffer that carries a failure message up to the run sequence.
enum { error_buffer_size = 512 };

// Throttle iterations. A setting this close to 100 % is the 100 % point.
static const double unthrottled_tolerance = 1e-12;
// Reachable chamber pressures, as multiples of the reference p_c: a solution
// outside them is reported as a bracketing failure, never extrapolated.
static const double gas_generator_low_factor = 0.2;
static const double gas_generator_high_factor = 1.3;
static const int gas_generator_max_passes = 60;
static const double staged_low_factor = 0.5;
static const double staged_high_factor = 1.25;
static const int staged_max_passes = 70;
// Relative residual that ends a bisection early, and the largest one
// accepted after the final evaluation.
static const double bisection_stop_tolerance = 1e-9;
static const double acceptance_tolerance = 1e-6;

static const char *engine_name(int module)
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
static int within(double value, double low, double high) { return value >= low && value <= high; }

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

// Writes a fixed message, cut to the caller's buffer and terminated.
static void write_message(char *error_buffer, int error_size, const char *message)
{
    if (error_buffer != nullptr && error_size > 0) {
        std::snprintf(error_buffer, static_cast<std::size_t>(error_size), "%s", message);
    }
}

// The bisection pass point that met the early-stop test. The final
// evaluation is made at the midpoint of the bracket after that pass, which is
// as wide as the pass was early: a pass that lands on the solution in the
// first few halvings leaves that midpoint far from it, and a valid throttle
// setting would be refused. The settled point is then the answer instead.
struct settled_point {
    int found;
    double p_c;
    chamber_state state;
    engine_results results;
};

static void settle_at(settled_point *settled, double p_c, const chamber_state *state, const engine_results *results)
{
    settled->found = 1;
    settled->p_c = p_c;
    settled->state = *state;
    settled->results = *results;
}

// Replaces a final evaluation that missed the acceptance test by the settled
// point, if the bisection found one; returns 0 when there is none.
static int fall_back_to_settled(const settled_point *settled, engine_case *operating, chamber_state *state,
                                engine_results *results)
{
    if (!settled->found) {
        return 0;
    }
    operating->p_c = settled->p_c;
    *state = settled->state;
    *results = settled->results;
    return 1;
}

// One evaluation of the case at its own p_c: the chamber equilibrium, then
// the nozzle model. A chamber failure keeps the chamber's message.
static int calculate_at_pressure(cea_chamber *chamber, const engine_case *engine, chamber_state *state,
                                 engine_results *results, char *error_buffer, int error_size)
{
    if (!cea_chamber_solve(chamber, engine->p_c, engine->k, engine->t_o, engine->t_f, state, error_buffer,
                           error_size)) {
        return 0;
    }
    if (!engine_calculate(engine, state, results)) {
        write_message(error_buffer, error_size, "Invalid or physically inconsistent model input.");
        return 0;
    }
    return 1;
}

// Staged combustion: the throat and the thrust-coefficient efficiency of the
// 100 % point are held, and the chamber pressure is searched at which the
// thrust at the reference ambient pressure is the throttled thrust.
static int calculate_staged_throttle(cea_chamber *chamber, const engine_case *reference,
                                     const engine_results *full_results, engine_case *operating, chamber_state *state,
                                     engine_results *results, char *error_buffer, int error_size)
{
    const double target = reference->thrust_ref * reference->lambda;
    double low = staged_low_factor * reference->p_c;
    double high = staged_high_factor * reference->p_c;

    *operating = *reference;
    operating->a_t_fixed = full_results->a_t;
    operating->eta_c_f = full_results->eta_c_f;

    operating->p_c = low;
    if (!calculate_at_pressure(chamber, operating, state, results, error_buffer, error_size)) {
        return 0;
    }
    if (results->f_sl >= target) {
        write_message(error_buffer, error_size, "Could not bracket the selected sea-level thrust below the target.");
        return 0;
    }
    operating->p_c = high;
    if (!calculate_at_pressure(chamber, operating, state, results, error_buffer, error_size)) {
        return 0;
    }
    if (results->f_sl <= target) {
        write_message(error_buffer, error_size, "Could not bracket the selected sea-level thrust above the target.");
        return 0;
    }

    // f_sl rises with p_c through a held throat.
    settled_point settled = {};
    int pass = 0;
    while (pass < staged_max_passes) {
        const double mid = 0.5 * (low + high);
        operating->p_c = mid;
        if (!calculate_at_pressure(chamber, operating, state, results, error_buffer, error_size)) {
            return 0;
        }
        if (results->f_sl < target) {
            low = mid;
        } else {
            high = mid;
        }
        if (std::fabs(results->f_sl - target) <= bisection_stop_tolerance * target) {
            settle_at(&settled, mid, state, results);
            break;
        }
        pass = pass + 1;
    }

    // The reported point is the midpoint of the final bracket, unless that
    // misses the acceptance test after an early stop (see settled_point).
    operating->p_c = 0.5 * (low + high);
    if (!calculate_at_pressure(chamber, operating, state, results, error_buffer, error_size)) {
        return 0;
    }
    if (std::fabs(results->f_sl - target) > acceptance_tolerance * target &&
        !fall_back_to_settled(&settled, operating, state, results)) {
        write_message(error_buffer, error_size, "Throttle iteration did not reach the selected sea-level thrust.");
        return 0;
    }
    return 1;
}

// The operating point of the reference case: the 100 % point itself, or for a
// throttled case the chamber pressure at which the cycle's constraint holds.
static int calculate_case(cea_chamber *chamber, const engine_case *reference, engine_case *operating,
                          chamber_state *state, engine_results *results, char *error_buffer, int error_size)
{
    engine_case full_case = *reference;
    full_case.lambda = 1.0;
    if (full_case.cycle == CYCLE_STAGED_COMBUSTION) {
        // Throat sized from the reference thrust, efficiency derived.
        full_case.a_t_fixed = 0.0;
    }
    chamber_state full_state;
    engine_results full_results;
    if (!calculate_at_pressure(chamber, &full_case, &full_state, &full_results, error_buffer, error_size)) {
        return 0;
    }
    if (std::fabs(reference->lambda - 1.0) < unthrottled_tolerance) {
        *operating = full_case;
        *state = full_state;
        *results = full_results;
        return 1;
    }
    if (reference->cycle == CYCLE_STAGED_COMBUSTION) {
        return calculate_staged_throttle(chamber, reference, &full_results, operating, state, results, error_buffer,
                                         error_size);
    }

    // Gas generator: the throttled engine keeps the 100 % throat area.
    *operating = *reference;
    const double full_throat = full_results.a_t;
    double low = gas_generator_low_factor * reference->p_c;
    double high = gas_generator_high_factor * reference->p_c;

    operating->p_c = low;
    if (!calculate_at_pressure(chamber, operating, state, results, error_buffer, error_size)) {
        return 0;
    }
    const double d_low = results->a_t - full_throat;
    operating->p_c = high;
    if (!calculate_at_pressure(chamber, operating, state, results, error_buffer, error_size)) {
        return 0;
    }
    const double d_high = results->a_t - full_throat;
    // a_t falls as p_c rises at a fixed setting.
    if (d_low < 0.0 || d_high > 0.0) {
        write_message(error_buffer, error_size, "Could not bracket chamber pressure while preserving throat area.");
        return 0;
    }

    settled_point settled = {};
    int pass = 0;
    while (pass < gas_generator_max_passes) {
        const double mid = 0.5 * (low + high);
        operating->p_c = mid;
        if (!calculate_at_pressure(chamber, operating, state, results, error_buffer, error_size)) {
            return 0;
        }
        const double d = results->a_t - full_throat;
        if (d > 0.0) {
            low = mid; // throat too large: pressure too low
        } else {
            high = mid;
        }
        if (std::fabs(d) <= bisection_stop_tolerance * full_throat) {
            settle_at(&settled, mid, state, results);
            break;
        }
        pass = pass + 1;
    }

    // The reported point is the midpoint of the final bracket, unless that
    // misses the acceptance test after an early stop (see settled_point).
    operating->p_c = 0.5 * (low + high);
    if (!calculate_at_pressure(chamber, operating, state, results, error_buffer, error_size)) {
        return 0;
    }
    if (std::fabs(results->a_t - full_throat) > acceptance_tolerance * full_throat &&
        !fall_back_to_settled(&settled, operating, state, results)) {
        write_message(error_buffer, error_size, "Throttle iteration did not preserve the reference throat area.");
        return 0;
    }
    return 1;
}

// The chamber state and nozzle lines that every module's report shares; the
// other-branch flow exists only in the gas-generator cycle, and the derived
// thrust-coefficient efficiency is a result only in the staged cycle.
static void print_chamber_block(const chamber_state *state, const engine_results *results, int other_branch,
                                int derived_eta_c_f)
{
    std::printf("[CALCULATED] T_c                                 = %.3f K\n", state->t_c);
    std::printf("[CALCULATED] M_r                                 = %.4f kg/kmol\n", state->m_r);
    std::printf("[CALCULATED] gamma                               = %.5f\n", state->gamma);
    std::printf("[CALCULATED] m_dot_en                            = %.3f kg/s\n", results->m_dot_en);
    std::printf("[CALCULATED] m_dot_o,en                          = %.3f kg/s\n", results->m_dot_o_en);
    std::printf("[CALCULATED] m_dot_f,en                          = %.3f kg/s\n", results->m_dot_f_en);
    if (other_branch) {
        std::printf("[CALCULATED] m_dot_other                         = %.3f kg/s\n", results->m_dot_other);
    }
    std::printf("[CALCULATED] m_dot                               = %.3f kg/s\n", results->m_dot);
    std::printf("[CALCULATED] A_t                                 = %.6f m^2\n", results->a_t);
    std::printf("[CALCULATED] A_e                                 = %.6f m^2\n", results->a_e);
    std::printf("[CALCULATED] p_e                                 = %.4f MPa\n", results->p_e / pa_per_mpa);
    std::printf("[CALCULATED] c*_id                               = %.3f m/s\n", results->c_star_id);
    std::printf("[CALCULATED] c*_ac                               = %.3f m/s\n", results->c_star);
    std::printf("[CALCULATED] u_e,id                              = %.3f m/s\n", results->u_e_id);
    std::printf("[CALCULATED] u_e                                 = %.3f m/s\n", results->u_e);
    std::printf("[CALCULATED] C_F,v,id                            = %.5f\n", results->c_f_v_id);
    if (derived_eta_c_f) {
        std::printf("[CALCULATED] eta_C_F                             = %.5f\n", results->eta_c_f);
    }
    std::printf("[CALCULATED] C_F,v,ac                            = %.5f\n", results->c_f_v);
}

// The thrust coefficients at the reference ambient pressure and at altitude,
// which the two modules with an atmosphere report alike.
static void print_ambient_coefficients(const engine_results *results)
{
    std::printf("[CALCULATED] C_F,SL,id                           = %.5f\n", results->c_f_sl_id);
    std::printf("[CALCULATED] C_F,SL                              = %.5f\n", results->c_f_sl);
    std::printf("[CALCULATED] C_F,id(p_a)                         = %.5f\n", results->c_f_h_id);
    std::printf("[CALCULATED] C_F,ac(p_a)                         = %.5f\n", results->c_f_h);
}

static void print_yf100k_case(const engine_case *reference, const engine_case *operating, const chamber_state *state,
                              const engine_results *results)
{
    std::puts("\nYF-100K family | LOX / RP-1 | oxidizer-rich staged combustion");
    std::puts("Standard atmosphere | steady selected state");
    std::printf("[KNOWN]      lambda                              = %.1f%%\n", percent_per_unit * operating->lambda);
    std::printf("[KNOWN]      h                                   = %.3f km geometric\n", operating->h / m_per_km);
    std::printf("[KNOWN]      p_atm                               = %.0f Pa\n", operating->p_atm);
    std::puts("[KNOWN]      p_a,v                               = 0 Pa");
    std::printf("[CALCULATED] p_a(h)                              = %.3f Pa\n", results->p_a);
    std::printf("[KNOWN]      F_en,SL(100%%)                      = %.3f kN\n", operating->thrust_ref / n_per_kn);
    std::printf("[CALCULATED] F_en,SL(lambda)                     = %.3f kN\n",
                operating->thrust_ref * operating->lambda / n_per_kn);
    std::printf("[KNOWN]      I_s,en,SL(100%%)                    = %.3f m/s\n", operating->isp_ref);
    std::printf("[KNOWN]      K_en                                = %.3f\n", operating->k_en);
    std::printf("[ESTIMATED]  K                                   = %.3f\n", operating->k);
    std::printf("[KNOWN]      p_c(100%%)                          = %.3f MPa\n", reference->p_c / pa_per_mpa);
    std::printf("[CALCULATED] p_c(lambda)                         = %.3f MPa\n", operating->p_c / pa_per_mpa);
    std::printf("[ESTIMATED]  epsilon                             = %.3f\n", operating->epsilon);
    std::printf("[ESTIMATED]  T_o                                 = %.2f K\n", operating->t_o);
    std::printf("[ESTIMATED]  T_f                                 = %.2f K\n", operating->t_f);
    std::printf("[ESTIMATED]  eta_c*                              = %.3f\n", operating->eta_c_star);
    print_chamber_block(state, results, 0, 1);
    print_ambient_coefficients(results);
    std::printf("[CALCULATED] F_en,SL = F_SL                      = %.3f kN\n", results->f_sl / n_per_kn);
    std::printf("[CALCULATED] F_en(p_a) = F(p_a)                  = %.3f kN\n", results->f_h / n_per_kn);
    std::printf("[CALCULATED] F_en,v = F_v                        = %.3f kN\n", results->f_v / n_per_kn);
    std::printf("[CALCULATED] I_s,en,SL = I_s,SL                  = %.3f m/s\n", results->i_s_sl);
    std::printf("[CALCULATED] I_s,en(p_a) = I_s(p_a)              = %.3f m/s\n", results->i_s_h);
    std::printf("[CALCULATED] I_s,en,v = I_s,v                    = %.3f m/s\n", results->i_s_v);
    if (operating->t_b > 0.0) {
        std::printf("[ESTIMATED]  t_b                                 = %.3f s\n", operating->t_b);
        std::printf("[CALCULATED] I_t,en,SL = I_t,SL                  = %.3f MN*s\n", results->i_t_sl / ns_per_mns);
        std::printf("[CALCULATED] I_t,en(p_a) = I_t(p_a)            = %.3f MN*s\n", results->i_t_h / ns_per_mns);
        std::printf("[CALCULATED] I_t,en,v = I_t,v                    = %.3f MN*s\n", results->i_t_v / ns_per_mns);
    }
}

static void print_tq15b_lines(const engine_case *operating, const chamber_state *state, const engine_results *results)
{
    std::puts("Vacuum reference condition | p_a = 0 Pa | steady nominal state");
    std::printf("[KNOWN]      F_en,v(100%%)                       = %.3f kN\n", operating->thrust_ref / n_per_kn);
    std::printf("[CALCULATED] F_en,v                              = %.3f kN\n", results->f_en / n_per_kn);
    std::printf("[KNOWN]      I_s,en,v(100%%)                     = %.3f m/s\n", operating->isp_ref);
    std::puts("[KNOWN]      p_a                                 = 0 Pa");
    std::printf("[ESTIMATED]  K_en = K                            = %.3f\n", operating->k);
    std::printf("[ESTIMATED]  beta                                = %.3f\n", operating->beta);
    std::printf("[ESTIMATED]  p_c                                 = %.3f MPa\n", operating->p_c / pa_per_mpa);
    std::printf("[ESTIMATED]  epsilon                             = %.3f\n", operating->epsilon);
    std::printf("[ESTIMATED]  T_o                                 = %.1f K\n", operating->t_o);
    std::printf("[ESTIMATED]  T_f                                 = %.1f K\n", operating->t_f);
    std::printf("[ESTIMATED]  eta_c*                              = %.3f\n", operating->eta_c_star);
    std::printf("[ESTIMATED]  eta_C_F                             = %.3f\n", operating->eta_c_f);
    print_chamber_block(state, results, 1, 0);
    std::printf("[CALCULATED] F_v                                 = %.3f kN\n", results->f_v / n_per_kn);
    std::printf("[CALCULATED] I_s,v                               = %.3f m/s\n", results->i_s_v);
    if (operating->t_b > 0.0) {
        std::printf("[ESTIMATED]  t_b                                 = %.3f s\n", operating->t_b);
        std::printf("[CALCULATED] I_t,v                               = %.3f MN*s\n", results->i_t_v / ns_per_mns);
        std::printf("[CALCULATED] I_t,en,v                            = %.3f MN*s\n", results->i_t_en / ns_per_mns);
    }
}

static void print_tq12b_lines(const engine_case *reference, const engine_case *operating, const chamber_state *state,
                              const engine_results *results)
{
    std::puts("Standard atmosphere | steady nominal state");
    std::printf("[KNOWN]      lambda                              = %.1f%%\n", percent_per_unit * operating->lambda);
    std::printf("[KNOWN]      h                                   = %.3f km geometric\n", operating->h / m_per_km);
    std::printf("[KNOWN]      p_atm                               = %.0f Pa\n", operating->p_atm);
    std::printf("[CALCULATED] p_a(h)                              = %.3f Pa\n", results->p_a);
    std::printf("[KNOWN]      F_en,SL(100%%)                      = %.3f kN\n", operating->thrust_ref / n_per_kn);
    std::printf("[CALCULATED] F_en,SL(lambda)                     = %.3f kN\n", results->f_en / n_per_kn);
    std::printf("[KNOWN]      I_s,en,SL(100%%)                    = %.3f m/s\n", operating->isp_ref);
    std::printf("[KNOWN]      K_en                                = %.3f\n", operating->k_en);
    std::printf("[ESTIMATED]  K                                   = %.3f\n", operating->k);
    std::printf("[ESTIMATED]  beta                                = %.3f\n", operating->beta);
    std::printf("[ESTIMATED]  p_c(100%%)                          = %.3f MPa\n", reference->p_c / pa_per_mpa);
    std::printf("[CALCULATED] p_c(lambda)                         = %.3f MPa\n", operating->p_c / pa_per_mpa);
    std::printf("[ESTIMATED]  epsilon                             = %.3f\n", operating->epsilon);
    std::printf("[ESTIMATED]  T_o                                 = %.1f K\n", operating->t_o);
    std::printf("[ESTIMATED]  T_f                                 = %.1f K\n", operating->t_f);
    std::printf("[ESTIMATED]  eta_c*                              = %.3f\n", operating->eta_c_star);
    std::printf("[ESTIMATED]  eta_C_F                             = %.3f\n", operating->eta_c_f);
    print_chamber_block(state, results, 1, 0);
    print_ambient_coefficients(results);
    std::printf("[CALCULATED] F_v                                 = %.3f kN\n", results->f_v / n_per_kn);
    std::printf("[CALCULATED] F_SL                                = %.3f kN\n", results->f_sl / n_per_kn);
    std::printf("[CALCULATED] F(p_a)                              = %.3f kN\n", results->f_h / n_per_kn);
    std::printf("[CALCULATED] I_s,v                               = %.3f m/s\n", results->i_s_v);
    std::printf("[CALCULATED] I_s,SL                              = %.3f m/s\n", results->i_s_sl);
    std::printf("[CALCULATED] I_s(p_a)                            = %.3f m/s\n", results->i_s_h);
    if (operating->t_b > 0.0) {
        std::printf("[ESTIMATED]  t_b                                 = %.3f s\n", operating->t_b);
        std::printf("[CALCULATED] I_t,SL                              = %.3f MN*s\n", results->i_t_sl / ns_per_mns);
        std::printf("[CALCULATED] I_t,v                               = %.3f MN*s\n", results->i_t_v / ns_per_mns);
        std::printf("[CALCULATED] I_t(p_a)                            = %.3f MN*s\n", results->i_t_h / ns_per_mns);
        std::printf("[CALCULATED] I_t,en,SL                           = %.3f MN*s\n", results->i_t_en / ns_per_mns);
    }
}

// The text report of a solved case. The reference case supplies only the
// 100 % chamber pressure; every other case value is the operating one.
static void print_case(int module, const engine_case *reference, const engine_case *operating,
                       const chamber_state *state, const engine_results *results)
{
    if (module == ENGINE_YF100K) {
        print_yf100k_case(reference, operating, state, results);
        return;
    }
    std::printf("\n%s | LOX / liquid methane | gas-generator cycle\n", engine_name(module));
    if (module == ENGINE_TQ15B) {
        print_tq15b_lines(operating, state, results);
    } else {
        print_tq12b_lines(reference, operating, state, results);
    }
}

// The module's key in the JSON document.
static const char *engine_key(int module)
{
    if (module == ENGINE_TQ15B) {
        return "tq15b";
    }
    if (module == ENGINE_YF100K) {
        return "yf100k";
    }
    return "tq12b";
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

    // Run sequence: one chamber for the whole run, closed on every path on
    // which it was opened.
    char error_buffer[error_buffer_size] = {0};
    cea_chamber chamber = {};
    if (!cea_chamber_open(&chamber, thermo_lib, module == ENGINE_YF100K ? 1 : 0, error_buffer, error_buffer_size)) {
        std::fprintf(stderr, "CEA initialization: %s\n", error_buffer);
        return 1;
    }
    engine_case operating;
    chamber_state state;
    engine_results results;
    if (!calculate_case(&chamber, &reference, &operating, &state, &results, error_buffer, error_buffer_size)) {
        std::fprintf(stderr, "Calculation failed: %s\n", error_buffer);
        cea_chamber_close(&chamber);
        return 1;
    }
    if (json) {
        print_json_case(engine_key(module), &reference, &operating, &state, &results);
    } else {
        print_case(module, &reference, &operating, &state, &results);
    }
    cea_chamber_close(&chamber);
    return 0;
}
