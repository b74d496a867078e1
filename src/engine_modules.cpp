// The module facts: presets, names, propellants, and the option table.
#include "engine_modules.h"

#include <cstring>

// Turns the TQ-12B reference specific impulse, known in seconds, into m/s.
static const double standard_gravity = 9.80665;

int module_bit(int module)
{
    if (module == ENGINE_TQ15B || module == ENGINE_YF100K) {
        return 1 << module;
    }
    return modules_tq12b;
}

void set_defaults(int module, engine_case *engine)
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

const char *engine_name(int module)
{
    if (module == ENGINE_TQ15B) {
        return "TQ-15B";
    }
    if (module == ENGINE_YF100K) {
        return "YF-100K family";
    }
    return "TQ-12B";
}

const char *engine_key(int module)
{
    if (module == ENGINE_TQ15B) {
        return "tq15b";
    }
    if (module == ENGINE_YF100K) {
        return "yf100k";
    }
    return "tq12b";
}

int parse_engine_key(const char *key, int *module)
{
    if (key == nullptr || module == nullptr) {
        return 0;
    }
    for (int candidate = 0; candidate < engine_module_count; ++candidate) {
        if (std::strcmp(key, engine_key(candidate)) == 0) {
            *module = candidate;
            return 1;
        }
    }
    return 0;
}

const char *engine_propellants(int module) { return engine_fuel_rp1(module) ? "LOX / RP-1" : "LOX / liquid methane"; }

const char *engine_cycle_name(int module)
{
    return module == ENGINE_YF100K ? "oxidizer-rich staged combustion" : "gas-generator cycle";
}

int engine_fuel_rp1(int module) { return module == ENGINE_YF100K ? 1 : 0; }

static double option_beta(const engine_case *engine) { return engine->beta; }
static double option_pc_mpa(const engine_case *engine) { return engine->p_c / pa_per_mpa; }
static double option_k(const engine_case *engine) { return engine->k; }
static double option_epsilon(const engine_case *engine) { return engine->epsilon; }
static double option_eta_c_star(const engine_case *engine) { return engine->eta_c_star; }
static double option_eta_cf(const engine_case *engine) { return engine->eta_c_f; }
static double option_t_oxygen_k(const engine_case *engine) { return engine->t_o; }
static double option_t_methane_k(const engine_case *engine) { return engine->t_f; }
static double option_throttle_pct(const engine_case *engine) { return engine->lambda * percent_per_unit; }
static double option_altitude_km(const engine_case *engine) { return engine->h / m_per_km; }
static double option_burn_s(const engine_case *engine) { return engine->t_b; }

// No range enforced by the command line, for one module.
static const option_range no_range = {0, 0.0, 0.0};

static const case_option option_table[] = {
    {"--beta", "", "Other-branch mass fraction", modules_tq, {no_range, no_range, no_range}, option_beta},
    {"--pc-mpa", "MPa", "Reference chamber pressure", modules_tq, {no_range, no_range, no_range}, option_pc_mpa},
    {"--k", "", "Thrust-chamber mixture ratio", modules_tq, {no_range, no_range, no_range}, option_k},
    {"--epsilon",
     "",
     "Nozzle area ratio",
     modules_all,
     {no_range, no_range, {1, yf100k_epsilon_min, yf100k_epsilon_max}},
     option_epsilon},
    {"--eta-c-star", "", "c* efficiency", modules_tq, {no_range, no_range, no_range}, option_eta_c_star},
    {"--eta-cf", "", "Thrust-coefficient efficiency", modules_tq, {no_range, no_range, no_range}, option_eta_cf},
    {"--t-oxygen-k", "K", "Oxidizer inlet temperature", modules_tq, {no_range, no_range, no_range}, option_t_oxygen_k},
    {"--t-methane-k", "K", "Fuel inlet temperature", modules_tq, {no_range, no_range, no_range}, option_t_methane_k},
    {"--throttle-pct",
     "%",
     "Throttle",
     modules_sea_level,
     {{1, tq12b_throttle_min_percent, tq12b_throttle_max_percent},
      no_range,
      {1, yf100k_throttle_min_percent, yf100k_throttle_max_percent}},
     option_throttle_pct},
    {"--altitude-km",
     "km",
     "Geometric altitude",
     modules_all,
     {{1, altitude_min_km, altitude_max_km}, {1, 0.0, 0.0}, {1, altitude_min_km, altitude_max_km}},
     option_altitude_km},
    {"--burn-s",
     "s",
     "Burn duration for the total impulse",
     modules_all,
     {no_range, no_range, no_range},
     option_burn_s},
};

int case_option_count() { return static_cast<int>(sizeof option_table / sizeof option_table[0]); }

const case_option *case_option_at(int index)
{
    if (index < 0 || index >= case_option_count()) {
        return nullptr;
    }
    return &option_table[index];
}

const case_option *find_case_option(const char *dashed_name)
{
    if (dashed_name == nullptr) {
        return nullptr;
    }
    for (const case_option &option : option_table) {
        if (std::strcmp(option.name, dashed_name) == 0) {
            return &option;
        }
    }
    return nullptr;
}

const case_option *find_case_option_bare(const char *bare_name)
{
    if (bare_name == nullptr) {
        return nullptr;
    }
    for (const case_option &option : option_table) {
        if (std::strcmp(option.name + 2, bare_name) == 0) {
            return &option;
        }
    }
    return nullptr;
}
