// The facts of the three engine modules: presets, keys and display names,
// propellants, the limits the command line enforces, and the table of the
// numeric command-line options with the modules that accept them. Every
// limit is stated here once; the front ends, the reports and the sweep read
// it from here.
#ifndef LRE_ENGINE_MODULES_H
#define LRE_ENGINE_MODULES_H

#include "engine_records.h"

enum { engine_module_count = 3 };

// Sets of modules, one bit per engine_module value (1 << module).
enum {
    modules_tq12b = 1 << ENGINE_TQ12B,
    modules_tq15b = 1 << ENGINE_TQ15B,
    modules_yf100k = 1 << ENGINE_YF100K,
    modules_tq = modules_tq12b | modules_tq15b,
    modules_sea_level = modules_tq12b | modules_yf100k,
    modules_all = modules_tq12b | modules_tq15b | modules_yf100k,
};

// The limits the command line enforces, inclusive, in the options' units.
constexpr double tq12b_throttle_min_percent = 40.0;
constexpr double tq12b_throttle_max_percent = 110.0;
constexpr double yf100k_throttle_min_percent = 65.0;
constexpr double yf100k_throttle_max_percent = 105.0;
// The standard atmosphere is defined from sea level to 86 km.
constexpr double altitude_min_km = 0.0;
constexpr double altitude_max_km = 86.0;
// Nozzle area ratios for which the YF-100K reference data hold.
constexpr double yf100k_epsilon_min = 20.0;
constexpr double yf100k_epsilon_max = 36.0;

// Unit conversions between the options (and reports) and the SI records.
constexpr double pa_per_mpa = 1000000.0;
constexpr double m_per_km = 1000.0;
constexpr double n_per_kn = 1000.0;
constexpr double ns_per_mns = 1000000.0;
constexpr double percent_per_unit = 100.0;

// The bit of a module in a module set; any other value counts as tq12b, as
// everywhere else in the program.
int module_bit(int module);

// Overwrites every field of *engine with the presets of the module; a module
// value the command line cannot produce falls back to the TQ-12B presets.
void set_defaults(int module, engine_case *engine);

// "TQ-12B", "TQ-15B", "YF-100K family".
const char *engine_name(int module);
// The command-line and JSON key: "tq12b", "tq15b", "yf100k".
const char *engine_key(int module);
// Selects the module from its key; returns 0 for any other word.
int parse_engine_key(const char *key, int *module);
// "LOX / liquid methane" or "LOX / RP-1".
const char *engine_propellants(int module);
// "gas-generator cycle" or "oxidizer-rich staged combustion".
const char *engine_cycle_name(int module);
// 1 when the module burns RP-1 (the chamber's fuel), 0 for liquid methane.
int engine_fuel_rp1(int module);

// A range the command line enforces on an option for one module.
struct option_range {
    int enforced; // 0: the model alone judges the value
    double low;   // in the option's unit
    double high;
};

// One numeric command-line option ("--engine" and "--json" are not numeric
// and are handled by each front end).
struct case_option {
    const char *name;        // with dashes, "--pc-mpa"; name + 2 is the bare name ("pc-mpa")
    const char *unit;        // "MPa", "%", "km", "K", "s", or "" for a ratio
    const char *description; // for forms: "Reference chamber pressure"
    int modules;             // set of the modules that accept it
    option_range range[engine_module_count];
    // The option's value in a case, in the option's unit (p_c / 1e6 for
    // "--pc-mpa", lambda * 100 for "--throttle-pct"): the preset when given
    // the module's defaults.
    double (*value)(const engine_case *engine);
};

// The options in usage-text order.
int case_option_count();
const case_option *case_option_at(int index);
// By dashed name ("--k") or by bare name ("k"); nullptr when unknown.
const case_option *find_case_option(const char *dashed_name);
const case_option *find_case_option_bare(const char *bare_name);

#endif
