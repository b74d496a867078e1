// libFuzzer target over the equilibrium library's C operations: each input
// is a short program of calls (solves with any arguments, into the solver's
// own solution or another's, and whole create-solve-destroy chains over named
// species, with failed database loads between) with numbers from plausible
// to hostile. After every call: a failure is a documented status with a
// printable, non-empty last-error text, a success leaves none; a converged
// state is finite, at the p (and T, or h) asked, with T in 200 K to 20000 K,
// 0 < MW <= M and cp >= cv > 0 (cv is cp less R n, which rounds away when
// nearly everything has condensed); a refused solve leaves no result; a destroyed
// handle is refused.
#include <cmath>
#include <cstring>
#include <string>

#include "cea_bindc.h"
#include "fuzz_input.h"

using namespace lre_fuzz;

namespace {

int checked(int status, const char *what)
{
    int n = -1;
    char text[1024] = "";
    bool readable = cea_last_error_message_len(&n) == CEA_OK && n >= 0 && n < 1024 &&
                    cea_last_error_message_buf(text, n + 1) == CEA_OK &&
                    std::strlen(text) == static_cast<std::size_t>(n);
    for (int i = 0; i < n && readable; ++i) {
        readable = text[i] >= 0x20 && text[i] < 0x7f;
    }
    bool documented = (status >= 1 && status <= 3) || (status >= 6 && status <= 15);
    if (!readable || (status == CEA_OK ? n != 0 : !documented || n == 0)) {
        fail("%s: status %d with the error text '%s' (%d)", what, status, text, n);
    }
    return status;
}

// What a solve with status `status` left in the solution.
void check_state(int status, cea_eqsolution solution, int type, double state1, double p_bar)
{
    int converged = -1;
    double v[15] = {};
    checked(cea_eqsolution_get_converged(solution, &converged), "converged");
    if (status != CEA_OK && converged != 0) {
        fail("a refused solve (status %d) left a result", status);
    }
    for (int p = 0; p < 15; ++p) {
        int read = checked(cea_eqsolution_get_property(solution, p, &v[p]), "property");
        if (converged ? (read != CEA_OK ? p < 10 || read != CEA_NOT_CONVERGED : !std::isfinite(v[p]))
                      : read != CEA_NOT_CONVERGED) {
            fail("property %d: status %d, value %g (converged %d)", p, read, v[p], converged);
        }
    }
    double t = v[CEA_TEMPERATURE], h = v[CEA_ENTHALPY], cp = v[CEA_FROZEN_CP];
    if (converged && (!(t >= 200.0 && t <= 20000.0) || std::fabs(v[CEA_PRESSURE] - p_bar) > 1e-12 * p_bar ||
                      (type == CEA_TP && t != state1) || !(v[CEA_MW] > 0.0 && v[CEA_MW] <= v[CEA_M] * (1 + 1e-12)) ||
                      !(cp >= v[CEA_FROZEN_CV] && v[CEA_FROZEN_CV] > 0.0) ||
                      (type == CEA_HP && std::fabs(h - state1 * 8.31451) > 1e-8 * (std::fabs(h) + cp * t)))) {
        fail("type %d at %.17g, %.17g bar: T %.17g, h %.17g, M %g, MW %g, cp %g", type, state1, p_bar, t, h, v[CEA_M],
             v[CEA_MW], cp);
    }
}

const char *const names[] = {"O2(L)", "CH4(L)", "RP-1",  "H2", "O2",   "H2O", "C(gr)", "N2",
                             "Ar",    "H2(L)",  "o2(l)", "",   "%s%n", "CO2", nullptr};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static cea_mixture reactants[2], products[2];
    static cea_eqsolver solvers[2];
    static cea_eqsolution solutions[2];
    for (int f = 0; f < 2 && solutions[1] == nullptr; ++f) {
        const char *pair[2] = {"O2(L)", f == 0 ? "CH4(L)" : "RP-1"};
        if ((f == 0 && cea_init_thermo(LRE_THERMO_DATABASE) != CEA_OK) ||
            cea_mixture_create(&reactants[f], 2, pair) |
                cea_mixture_create_from_reactants(&products[f], 2, pair, 0, nullptr) |
                cea_eqsolver_create_with_reactants(&solvers[f], products[f], reactants[f]) |
                cea_eqsolution_create(&solutions[f], solvers[f])) {
            fail("cannot open the chambers on %s", LRE_THERMO_DATABASE);
        }
    }
    byte_reader in = make_reader(data, size);
    for (int op = 0; op < 16 && in.position < in.size; ++op) {
        int f = take_choice(&in, 2);
        const double amounts[3] = {take_number(&in, 0.0, 1.0), take_number(&in, 0.0, 1.0), take_number(&in, 0.0, 1.0)};
        int type = take_choice(&in, 4) == 0 ? take_choice(&in, 9) - 2 : take_choice(&in, 2);
        double state1 = type == CEA_TP ? take_number(&in, 50.0, 40000.0) : take_number(&in, -2000.0, 2000.0);
        double p_bar = take_number(&in, 1e-4, 1e5);
        if (take_choice(&in, 3) != 0) { // a solve, into this solver's solution or the other's
            bool own = take_choice(&in, 8) != 0;
            int status = checked(
                cea_eqsolver_solve(solvers[f], type, state1, p_bar, amounts, solutions[own ? f : 1 - f]), "solve");
            if (!own && status != CEA_MIXTURE_MISMATCH) {
                fail("a solve into another solver's solution: status %d", status);
            }
            if (own) {
                check_state(status, solutions[f], type, state1, p_bar);
            }
            continue;
        }
        // A whole life of objects over named species, then a stale handle.
        const char *list[3] = {names[take_choice(&in, 15)], names[take_choice(&in, 15)], names[take_choice(&in, 15)]};
        int n = take_choice(&in, 4);
        cea_mixture r = nullptr, p = nullptr;
        cea_eqsolver s = nullptr;
        cea_eqsolution x = nullptr;
        if (take_choice(&in, 16) == 0) {
            checked(cea_init_thermo(take_choice(&in, 2) ? CEA_TEST_DATA_DIR "/thermo_garbage.inp" : ""), "load");
        }
        if (checked(cea_mixture_create(&r, n, list), "mixture") == CEA_OK &&
            checked(cea_mixture_create_from_reactants(&p, n, list, take_choice(&in, 2), list + 2), "products") ==
                CEA_OK &&
            checked(cea_eqsolver_create_with_reactants(&s, p, r), "solver") == CEA_OK &&
            checked(cea_eqsolution_create(&x, s), "solution") == CEA_OK) {
            int status = checked(cea_eqsolver_solve(s, CEA_TP, std::fabs(state1), p_bar, amounts, x), "solve");
            check_state(status, x, CEA_TP, std::fabs(state1), p_bar);
        }
        cea_mixture stale = r;
        if ((checked(cea_eqsolution_destroy(&x), "destroy") | checked(cea_eqsolver_destroy(&s), "destroy") |
             checked(cea_mixture_destroy(&p), "destroy") | checked(cea_mixture_destroy(&r), "destroy")) != CEA_OK ||
            r != nullptr || (stale != nullptr && checked(cea_mixture_destroy(&stale), "stale") != CEA_NULL_HANDLE)) {
            fail("destroying the objects of a chain");
        }
    }
    return 0;
}
