// Ideal-nozzle performance model: one-dimensional isentropic expansion of a
// perfect gas at the chamber's frozen gamma, supersonic branch, ending at the
// geometric area ratio; c* and C_F efficiencies correct the ideal figures.
//
// Every formula is evaluated in the order in which it is conventionally
// written (left to right, squares first): the reports print up to twelve
// significant digits, and a reordered expression changes the last of them.
#include "engine_model.h"

#include <cmath>

#include "atmosphere.h"

static const double universal_gas_constant_j_kmol_k = 8314.462618;

// Exit-Mach search: the bracket starts at the sonic throat and an upper bound
// that is doubled until it passes the wanted area ratio.
static const double exit_mach_lower_bound = 1.0;
static const double exit_mach_first_upper_bound = 2.0;
static const double exit_mach_largest_upper_bound = 1024.0;
// A fixed count, no tolerance test: 100 halvings of a bracket no wider than
// 1023 reach the last bit of a double, so the result never depends on when
// a tolerance happens to be met.
static const int exit_mach_bisection_steps = 100;

static const double gas_generator_lambda_min = 0.4;
static const double gas_generator_lambda_max = 1.1;
static const double staged_lambda_min = 0.65;
static const double staged_lambda_max = 1.05;
// The staged cycle has one flow path, so the chamber and engine mixture
// ratios must agree up to rounding of the user's input.
static const double staged_mixture_ratio_tolerance = 1e-12;

static int is_finite(double x) { return std::isfinite(x) ? 1 : 0; }

// Finite and strictly greater than zero (negative zero fails).
static int positive_finite(double x) { return is_finite(x) && x > 0.0 ? 1 : 0; }

// Isentropic A / A* at Mach number mach; callers pass mach >= 1, gamma > 1.
static double area_ratio_at_mach(double mach, double gamma)
{
    return (1.0 / mach) * std::pow((2.0 / (gamma + 1.0)) * (1.0 + (gamma - 1.0) * (mach * mach) / 2.0),
                                   (gamma + 1.0) / (2.0 * (gamma - 1.0)));
}

// Supersonic Mach number whose area ratio is area_ratio. Returns 0 and leaves
// *mach alone when no such Mach number up to the largest bound exists.
static int find_exit_mach(double area_ratio, double gamma, double *mach)
{
    double hi = exit_mach_first_upper_bound;
    while (area_ratio > area_ratio_at_mach(hi, gamma)) {
        hi = hi * 2.0;
        if (hi > exit_mach_largest_upper_bound) {
            return 0;
        }
    }
    double lo = exit_mach_lower_bound;
    for (int step = 0; step < exit_mach_bisection_steps; ++step) {
        const double mid = 0.5 * (lo + hi);
        if (area_ratio > area_ratio_at_mach(mid, gamma)) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    *mach = 0.5 * (lo + hi);
    return 1;
}

// The rules a case and chamber state must meet before any figure is derived,
// in a fixed order (the first failing rule decides).
static int input_is_valid(const engine_case *input, const chamber_state *chamber)
{
    if (input->cycle != CYCLE_GAS_GENERATOR && input->cycle != CYCLE_STAGED_COMBUSTION) {
        return 0;
    }
    if (!positive_finite(input->thrust_ref) || !positive_finite(input->isp_ref)) {
        return 0;
    }
    if (!is_finite(input->lambda)) {
        return 0;
    }
    if (!positive_finite(input->k_en) || !positive_finite(input->k)) {
        return 0;
    }
    if (!is_finite(input->beta) || !(input->beta >= 0.0 && input->beta < 1.0)) {
        return 0;
    }
    if (!positive_finite(input->p_c)) {
        return 0;
    }
    if (!is_finite(input->a_t_fixed) || !(input->a_t_fixed >= 0.0)) {
        return 0;
    }
    if (!is_finite(input->epsilon) || !(input->epsilon > 1.0)) {
        return 0;
    }
    if (!positive_finite(input->eta_c_star) || !(input->eta_c_star <= 1.0)) {
        return 0;
    }
    if (!is_finite(input->eta_c_f)) {
        return 0;
    }
    if (!is_finite(input->p_atm) || !(input->p_atm >= 0.0 && input->p_atm < input->p_c)) {
        return 0;
    }
    if (!is_finite(input->t_b) || !(input->t_b >= 0.0)) {
        return 0;
    }
    if (!positive_finite(input->t_o) || !positive_finite(input->t_f)) {
        return 0;
    }
    if (!positive_finite(chamber->t_c) || !positive_finite(chamber->m_r) || !is_finite(chamber->gamma) ||
        !(chamber->gamma > 1.0)) {
        return 0;
    }

    if (input->cycle == CYCLE_GAS_GENERATOR) {
        if (!(input->beta > 0.0)) {
            return 0;
        }
        if (!(input->eta_c_f > 0.0 && input->eta_c_f <= 1.0)) {
            return 0;
        }
        if (!(input->lambda >= gas_generator_lambda_min && input->lambda <= gas_generator_lambda_max)) {
            return 0;
        }
        return 1;
    }

    if (input->beta != 0.0) {
        return 0;
    }
    if (!(input->lambda >= staged_lambda_min && input->lambda <= staged_lambda_max)) {
        return 0;
    }
    if (!(input->p_atm > 0.0)) {
        return 0;
    }
    if (!(std::fabs(input->k - input->k_en) <= staged_mixture_ratio_tolerance)) {
        return 0;
    }
    // A thrust-sized staged throat is the 100 % reference point only.
    if (input->a_t_fixed == 0.0 && input->lambda != 1.0) {
        return 0;
    }
    if (input->a_t_fixed > 0.0 && !(input->eta_c_f > 0.0 && input->eta_c_f <= 1.0)) {
        return 0;
    }
    return 1;
}

int engine_calculate(const engine_case *input, const chamber_state *chamber, engine_results *results)
{
    if (input == nullptr || chamber == nullptr || results == nullptr) {
        return 0;
    }
    if (!input_is_valid(input, chamber)) {
        return 0;
    }

    const double gamma = chamber->gamma;
    const double t_c = chamber->t_c;
    const double p_c = input->p_c;
    const double epsilon = input->epsilon;
    const int staged = input->cycle == CYCLE_STAGED_COMBUSTION;

    double exit_mach = 0.0;
    if (!find_exit_mach(epsilon, gamma, &exit_mach)) {
        return 0;
    }

    // Built in a local record and copied out only on success, so that a
    // refused case never leaves a half-written record behind.
    engine_results out{};
    const double gas_constant_j_kg_k = universal_gas_constant_j_kmol_k / chamber->m_r;

    const double pressure_ratio = std::pow(1.0 + (gamma - 1.0) * (exit_mach * exit_mach) / 2.0, -gamma / (gamma - 1.0));
    out.p_e = p_c * pressure_ratio;
    out.c_star_id = std::sqrt(t_c * gas_constant_j_kg_k / gamma) *
                    std::pow((gamma + 1.0) / 2.0, (gamma + 1.0) / (2.0 * (gamma - 1.0)));
    out.c_star = out.c_star_id * input->eta_c_star;
    out.u_e_id = std::sqrt((2.0 * gamma / (gamma - 1.0)) * gas_constant_j_kg_k * t_c *
                           (1.0 - std::pow(pressure_ratio, (gamma - 1.0) / gamma)));
    out.c_f_v_id = out.u_e_id / out.c_star_id + epsilon * pressure_ratio;
    out.f_en = input->thrust_ref * input->lambda;

    if (staged && input->a_t_fixed > 0.0) {
        out.a_t = input->a_t_fixed;
        out.m_dot_en = out.a_t * p_c / out.c_star;
    } else {
        out.m_dot_en = out.f_en / input->isp_ref;
        out.a_t = out.c_star * (1.0 - input->beta) * out.m_dot_en / p_c;
    }

    out.m_dot_f_en = out.m_dot_en / (1.0 + input->k_en);
    out.m_dot_o_en = out.m_dot_en - out.m_dot_f_en;
    out.m_dot_other = out.m_dot_en * input->beta;
    out.m_dot = out.m_dot_en * (1.0 - input->beta);
    out.a_e = out.a_t * epsilon;

    if (staged && input->a_t_fixed == 0.0) {
        // Staged reference point: the known thrust fixes C_F, and the
        // efficiency follows from it.
        out.c_f_v = input->thrust_ref / (p_c * out.a_t) + input->p_atm * epsilon / p_c;
        out.eta_c_f = out.c_f_v / out.c_f_v_id;
        if (!positive_finite(out.eta_c_f) || out.eta_c_f > 1.0) {
            return 0;
        }
    } else {
        out.eta_c_f = input->eta_c_f;
        out.c_f_v = out.c_f_v_id * out.eta_c_f;
    }

    out.c_f_sl_id = out.c_f_v_id - input->p_atm * epsilon / p_c;
    out.c_f_sl = out.c_f_v - input->p_atm * epsilon / p_c;

    if (!standard_atmosphere_pressure(input->h, &out.p_a)) {
        return 0;
    }
    out.c_f_h_id = out.c_f_v_id - out.p_a * epsilon / p_c;
    out.c_f_h = out.c_f_v - out.p_a * epsilon / p_c;

    out.u_e = (out.c_f_v - epsilon * pressure_ratio) * out.c_star;

    out.f_v = out.c_f_v * (p_c * out.a_t);
    out.f_sl = out.c_f_sl * (p_c * out.a_t);
    out.f_h = out.c_f_h * (p_c * out.a_t);

    // Specific impulses are of the thrust chamber, on its own flow.
    out.i_s_v = out.f_v / out.m_dot;
    out.i_s_sl = out.f_sl / out.m_dot;
    out.i_s_h = out.f_h / out.m_dot;

    out.i_t_sl = input->t_b * out.f_sl;
    out.i_t_v = input->t_b * out.f_v;
    out.i_t_h = input->t_b * out.f_h;
    out.i_t_en = staged ? input->t_b * out.f_sl : input->t_b * out.f_en;

    // An over-expanded nozzle gives a thrust coefficient <= 0; any overflow
    // shows up as an infinity or NaN here. The total impulses are tested too:
    // a burn long enough to overflow them would otherwise reach the reports
    // as "inf".
    if (!positive_finite(out.c_star) || !positive_finite(out.u_e) || !positive_finite(out.c_f_sl) ||
        !positive_finite(out.c_f_h) || !positive_finite(out.a_t) || !positive_finite(out.f_sl) ||
        !positive_finite(out.f_h) || !positive_finite(out.f_v)) {
        return 0;
    }
    if (!is_finite(out.i_t_sl) || !is_finite(out.i_t_v) || !is_finite(out.i_t_h) || !is_finite(out.i_t_en)) {
        return 0;
    }

    *results = out;
    return 1;
}
