// The three modules' preset cases (100 %, sea level, no burn) as the module
// table lists them, exact: expected presets and realistic model inputs.
#ifndef LRE_TEST_MODULE_PRESETS_H
#define LRE_TEST_MODULE_PRESETS_H

#include <cstdint>
#include <cstring>

#include "engine_records.h"

namespace lre_test {

// Zero bytes (padding included), then the listed fields, so that a byte
// comparison also catches a zero written as -0.0 or left stale; a_t_fixed,
// h and t_b are 0 and lambda is 1 for every module.
inline engine_case preset(std::int32_t cycle, double thrust_ref, double isp_ref, double k_en, double k, double beta,
                          double p_c, double epsilon, double eta_c_star, double eta_c_f, double p_atm, double t_o,
                          double t_f)
{
    engine_case expected;
    std::memset(&expected, 0, sizeof expected);
    expected.cycle = cycle;
    expected.thrust_ref = thrust_ref;
    expected.isp_ref = isp_ref;
    expected.lambda = 1.0;
    expected.k_en = k_en;
    expected.k = k;
    expected.beta = beta;
    expected.p_c = p_c;
    expected.epsilon = epsilon;
    expected.eta_c_star = eta_c_star;
    expected.eta_c_f = eta_c_f;
    expected.p_atm = p_atm;
    expected.t_o = t_o;
    expected.t_f = t_f;
    return expected;
}

inline engine_case tq12b_preset_case()
{
    return preset(CYCLE_GAS_GENERATOR, 1000000.0, 293.0 * 9.80665, 2.9, 2.9, 0.09, 14000000.0, 20.5, 0.97, 0.97,
                  101325.0, 90.0, 111.0);
}

inline engine_case tq15b_preset_case()
{
    return preset(CYCLE_GAS_GENERATOR, 1183000.0, 3500.0, 2.9, 2.9, 0.09, 14000000.0, 50.0, 0.97, 0.97, 0.0, 90.0,
                  111.0);
}

inline engine_case yf100k_preset_case()
{
    return preset(CYCLE_STAGED_COMBUSTION, 1250000.0, 2958.0, 2.6, 2.6, 0.0, 18700000.0, 35.0, 0.995, 0.0, 101325.0,
                  90.17, 298.15);
}

} // namespace lre_test

#endif
