// The usage text as the program must print it, for the tests and the fuzz
// target that check the usage path byte for byte.
#ifndef LRE_TEST_EXPECTED_USAGE_H
#define LRE_TEST_EXPECTED_USAGE_H

#include <string>

namespace lre_test {

inline std::string expected_usage(const std::string &program_name)
{
    return "Usage: " + program_name +
           " THERMO_LIB [options]\n"
           "  --engine tq12b|tq15b|yf100k  Select the module (default: tq12b)\n"
           "  --beta VALUE               Other-branch mass fraction beta (TQ only)\n"
           "  --pc-mpa VALUE             Reference p_c, MPa (TQ only)\n"
           "  --k VALUE                  Thrust-chamber K (TQ only)\n"
           "  --epsilon VALUE            Nozzle area ratio epsilon = A_e / A_t\n"
           "  --eta-c-star VALUE         Efficiency eta_c* (TQ only)\n"
           "  --eta-cf VALUE             Efficiency eta_C_F (TQ only)\n"
           "  --t-oxygen-k VALUE         Oxidizer inlet T_o, K (TQ only)\n"
           "  --t-methane-k VALUE        Fuel inlet T_f, K (TQ only)\n"
           "  --throttle-pct VALUE       lambda: TQ-12B 40-110%, YF-100K 65-105%\n"
           "  --altitude-km VALUE        Geometric h, 0 to 86 km (TQ-12B/YF-100K)\n"
           "  --burn-s VALUE             Burn duration t_b for constant-thrust total impulse\n"
           "  --json                     Print machine-readable JSON for the user interface\n"
           "YF-100K: epsilon 20 to 36; reference eta_C_F is recalculated for each epsilon.\n"
           "THERMO_LIB is the path to CEA's thermo.lib database.\n";
}

} // namespace lre_test

#endif
