// The case solver: the 100 % point, and the throttle iterations that search
// the chamber pressure of a throttled case by bisection.
#include "case_solver.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

#include "engine_model.h"

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
int calculate_case(cea_chamber *chamber, const engine_case *reference, engine_case *operating, chamber_state *state,
                   engine_results *results, char *error_buffer, int error_size)
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
