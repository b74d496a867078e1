// The three records that carry one calculation through the program, and the
// module and cycle selectors. Plain values: every quantity is in SI units
// (N, Pa, m, m^2, kg/s, m/s, K, s, N*s); unit conversions happen only at the
// command line and in the reports.
#ifndef LRE_ENGINE_RECORDS_H
#define LRE_ENGINE_RECORDS_H

#include <cstdint>

enum engine_module {
    ENGINE_TQ12B = 0,
    ENGINE_TQ15B = 1,
    ENGINE_YF100K = 2,
};

enum engine_cycle {
    CYCLE_GAS_GENERATOR = 0,     // TQ-12B and TQ-15B
    CYCLE_STAGED_COMBUSTION = 1, // YF-100K family
};

// What is known or assumed about the engine and its operating point.
struct engine_case {
    std::int32_t cycle; // CYCLE_GAS_GENERATOR or CYCLE_STAGED_COMBUSTION
    double thrust_ref;  // N, engine thrust at 100 % at p_atm
    double isp_ref;     // m/s, engine specific impulse at 100 % at p_atm
    double lambda;      // throttle fraction, 1.0 = 100 %
    double k_en;        // engine oxidizer-to-fuel mass ratio
    double k;           // thrust-chamber oxidizer-to-fuel mass ratio
    double beta;        // share of the engine flow that bypasses the chamber
    double p_c;         // Pa, chamber pressure
    double a_t_fixed;   // m^2, throat area to hold; 0 sizes it from thrust
    double epsilon;     // nozzle area ratio A_e / A_t
    double eta_c_star;  // characteristic-velocity efficiency
    double eta_c_f;     // thrust-coefficient efficiency
    double p_atm;       // Pa, ambient pressure of the reference condition
    double h;           // m, geometric altitude of the operating point
    double t_b;         // s, burn duration; 0 means none given
    double t_o;         // K, oxidizer inlet temperature
    double t_f;         // K, fuel inlet temperature
};

// Combustion-chamber equilibrium state.
struct chamber_state {
    double t_c;   // K, adiabatic flame temperature
    double m_r;   // kg/kmol, molecular weight of the products
    double gamma; // frozen cp / cv, > 1 when valid
};

// Everything the ideal-nozzle model derives from a case and its chamber state.
struct engine_results {
    double f_en;        // N, engine thrust at p_atm and lambda
    double m_dot_en;    // kg/s, engine propellant flow
    double m_dot_o_en;  // kg/s, engine oxidizer flow
    double m_dot_f_en;  // kg/s, engine fuel flow
    double m_dot;       // kg/s, thrust-chamber flow
    double m_dot_other; // kg/s, other-branch flow
    double a_t;         // m^2, throat area
    double a_e;         // m^2, exit area
    double p_e;         // Pa, nozzle exit pressure
    double c_star_id;   // m/s, ideal characteristic velocity
    double c_star;      // m/s, actual characteristic velocity
    double u_e_id;      // m/s, ideal exhaust velocity
    double u_e;         // m/s, actual exhaust velocity
    double c_f_v_id;    // ideal vacuum thrust coefficient
    double eta_c_f;     // thrust-coefficient efficiency used or derived
    double c_f_v;       // actual vacuum thrust coefficient
    double c_f_sl_id;   // ideal thrust coefficient at p_atm
    double c_f_sl;      // actual thrust coefficient at p_atm
    double p_a;         // Pa, standard-atmosphere pressure at h
    double c_f_h_id;    // ideal thrust coefficient at p_a
    double c_f_h;       // actual thrust coefficient at p_a
    double f_v;         // N, chamber vacuum thrust
    double f_sl;        // N, chamber thrust at p_atm
    double f_h;         // N, chamber thrust at p_a
    double i_s_v;       // m/s, vacuum specific impulse
    double i_s_sl;      // m/s, specific impulse at p_atm
    double i_s_h;       // m/s, specific impulse at p_a
    double i_t_sl;      // N*s, t_b * f_sl
    double i_t_v;       // N*s, t_b * f_v
    double i_t_h;       // N*s, t_b * f_h
    double i_t_en;      // N*s, engine total impulse
};

// A solved case as the reports read it: the module, the reference case (the
// presets with the options), and the operating case with its chamber state
// and results as calculate_case returned them. Pointers to the caller's
// records; nothing is owned.
struct solved_case {
    int module; // engine_module
    const engine_case *reference;
    const engine_case *operating;
    const chamber_state *state;
    const engine_results *results;
};

#endif
