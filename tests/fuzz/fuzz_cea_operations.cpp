// libFuzzer target over the equilibrium library's C operations: each input
// is a short program of calls (solves, the program's chamber sequence, whole
// create-solve-destroy chains over named species, failed database loads)
// with numbers from plausible to hostile.
// After every call: a failure is a documented status with a printable,
// non-empty last-error text, a success leaves none; a converged state is
// finite, at the p (and T, or h) asked, with T in 200 K to 20000 K,
// 0 < MW <= M and cp > cv > 0; a refused solve leaves no result; the same
// chamber solve twice gives the same bits; a destroyed handle is refused.
#include <cmath>
#include <cstring>
#include <string>

#include "cea_bindc.h"
#include "fuzz_input.h"

using namespace lre_fuzz;

namespace {

struct chamber {
    cea_mixture reactants, products;
    cea_eqsolver solver;
    cea_eqsolution solution, spare;
};

std::string error_text()
{
    int n = -1;
    char text[1024] = "";
    if (cea_last_error_message_len(&n) != CEA_OK || n < 0 || n >= 1024 ||
        cea_last_error_message_buf(text, n + 1) != 0 || std::strlen(text) != static_cast<std::size_t>(n)) {
        fail("the error text cannot be read back (length %d)", n);
    }
    return text;
}

int checked(int status, const char *what)
{
    const std::string text = error_text();
    bool printable = true;
    for (char c : text) {
        printable = printable && c >= 0x20 && c < 0x7f;
    }
    bool documented = (status >= 1 && status <= 3) || (status >= 6 && status <= 15);
    if (status == CEA_OK ? !text.empty() : (!documented || text.empty() || !printable)) {
        fail("%s: status %d with the error text '%s'", what, status, text.c_str());
    }
    return status;
}

// What a solve left in the solution; the properties read, in values.
void check_state(cea_eqsolution solution, int type, double state1, double p_bar, double values[15])
{
    int converged = -1;
    checked(cea_eqsolution_get_converged(solution, &converged), "converged");
    for (int p = 0; p < 15; ++p) {
        values[p] = 0.0;
        int status = checked(cea_eqsolution_get_property(solution, p, &values[p]), "property");
        if (converged ? (status != CEA_OK ? p < 10 || p > 14 || status != CEA_NOT_CONVERGED : !std::isfinite(values[p]))
                      : status != CEA_NOT_CONVERGED) {
            fail("property %d: status %d, value %g (converged %d)", p, status, values[p], converged);
        }
    }
    const double *v = values;
    double t = v[CEA_TEMPERATURE], h = v[CEA_ENTHALPY], cp = v[CEA_FROZEN_CP];
    if (converged && (!(t >= 200.0 && t <= 20000.0) || std::fabs(v[CEA_PRESSURE] - p_bar) > 1e-12 * p_bar ||
                      (type == CEA_TP && t != state1) || !(v[CEA_MW] > 0.0 && v[CEA_MW] <= v[CEA_M] * (1 + 1e-12)) ||
                      !(cp > v[CEA_FROZEN_CV] && v[CEA_FROZEN_CV] > 0.0) ||
                      (type == CEA_HP && std::fabs(h - state1 * 8.31451) > 1e-8 * (std::fabs(h) + cp * t)))) {
        fail("type %d at %.17g, %.17g bar: T %.17g, h %.17g, M %g, MW %g, cp %g", type, state1, p_bar, t, h, v[CEA_M],
             v[CEA_MW], cp);
    }
}

chamber *open_chambers()
{
    static chamber c[2];
    static bool opened = false;
    const char *fuels[2] = {"CH4(L)", "RP-1"};
    for (int f = 0; f < 2 && !opened; ++f) {
        const char *names[2] = {"O2(L)", fuels[f]};
        if ((f == 0 && cea_init_thermo(LRE_THERMO_DATABASE) != CEA_OK) ||
            cea_mixture_create(&c[f].reactants, 2, names) != CEA_OK ||
            cea_mixture_create_from_reactants(&c[f].products, 2, names, 0, nullptr) != CEA_OK ||
            cea_eqsolver_create_with_reactants(&c[f].solver, c[f].products, c[f].reactants) != CEA_OK ||
            cea_eqsolution_create(&c[f].solution, c[f].solver) != CEA_OK ||
            cea_eqsolution_create(&c[f].spare, c[f].solver) != CEA_OK) {
            fail("cannot open the chambers on %s", LRE_THERMO_DATABASE);
        }
    }
    opened = true;
    return c;
}

const char *const names[] = {"O2(L)", "CH4(L)", "RP-1",  "H2", "O2",   "H2O", "C(gr)", "N2",
                             "Ar",    "H2(L)",  "o2(l)", "",   "%s%n", "CO2", nullptr};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    byte_reader in = make_reader(data, size);
    chamber *chambers = open_chambers();
    double values[15];
    double again[15];
    for (int op = 0; op < 16 && in.position < in.size; ++op) {
        chamber &c = chambers[take_choice(&in, 2)];
        const double amounts[3] = {take_number(&in, 0.0, 1.0), take_number(&in, 0.0, 1.0), take_number(&in, 0.0, 1.0)};
        switch (take_choice(&in, 3)) {
        case 0: { // any solve, into this solver's solution or the other's
            int type = take_choice(&in, 4) == 0 ? take_choice(&in, 9) - 2 : take_choice(&in, 2);
            double state1 = type == CEA_TP ? take_number(&in, 50.0, 40000.0) : take_number(&in, -2000.0, 2000.0);
            double p_bar = take_number(&in, 1e-4, 1e5);
            bool own = take_choice(&in, 8) != 0;
            cea_eqsolution into = own ? c.solution : chambers[&c == chambers].solution;
            int status = checked(cea_eqsolver_solve(c.solver, type, state1, p_bar, amounts, into), "solve");
            int converged = -1;
            checked(cea_eqsolution_get_converged(into, &converged), "converged");
            if (own ? status != CEA_OK && converged != 0 : status != CEA_MIXTURE_MISMATCH) {
                fail("a solve into %s solution: status %d, converged %d", own ? "its" : "another", status, converged);
            }
            if (own && status == CEA_OK) {
                check_state(into, type, state1, p_bar, values);
            }
            break;
        }
        case 1: { // the program's chamber sequence, solved twice
            const double oxidant[2] = {1.0, 0.0}, fuel[2] = {0.0, 1.0};
            const double t[2] = {90.17 + take_number(&in, -12.0, 12.0),
                                 (&c == chambers ? 111.643 : 298.15) + amounts[0]};
            double w[2], h = 0.0, p_bar = take_number(&in, 0.01, 1000.0);
            if (checked(cea_mixture_of_ratio_to_weights(c.reactants, 2, oxidant, fuel, take_number(&in, 0.3, 30.0), w),
                        "weights") == CEA_OK &&
                checked(cea_mixture_calc_property_multitemp(c.reactants, CEA_ENTHALPY, 2, w, 2, t, &h), "h") ==
                    CEA_OK &&
                checked(cea_eqsolver_solve(c.solver, CEA_HP, h / 8314.51, p_bar, w, c.solution), "solve") == CEA_OK &&
                checked(cea_eqsolver_solve(c.solver, CEA_HP, h / 8314.51, p_bar, w, c.spare), "again") == CEA_OK) {
                check_state(c.solution, CEA_HP, h / 8314.51, p_bar, values);
                check_state(c.spare, CEA_HP, h / 8314.51, p_bar, again);
                if (std::memcmp(values, again, sizeof values) != 0) {
                    fail("the same chamber solve gave other results");
                }
            }
            break;
        }
        default: { // a whole life of objects over named species, then stale handles
            const char *list[3] = {names[take_choice(&in, 15)], names[take_choice(&in, 15)],
                                   names[take_choice(&in, 15)]};
            int n = take_choice(&in, 4);
            cea_mixture r = nullptr, p = nullptr;
            cea_eqsolver s = nullptr;
            cea_eqsolution x = nullptr;
            if (take_choice(&in, 16) == 0) {
                checked(cea_init_thermo(take_choice(&in, 2) ? CEA_TEST_DATA_DIR "/thermo_garbage.inp" : ""), "load");
            }
            double t_k = take_number(&in, 100.0, 30000.0), p_bar = take_number(&in, 1e-3, 1e4);
            if (checked(cea_mixture_create(&r, n, list), "mixture") == CEA_OK &&
                checked(cea_mixture_create_from_reactants(&p, n, list, take_choice(&in, 2), list + 2), "products") ==
                    CEA_OK &&
                checked(cea_eqsolver_create_with_reactants(&s, p, r), "solver") == CEA_OK &&
                checked(cea_eqsolution_create(&x, s), "solution") == CEA_OK &&
                checked(cea_eqsolver_solve(s, CEA_TP, t_k, p_bar, amounts, x), "solve") == CEA_OK) {
                check_state(x, CEA_TP, t_k, p_bar, values);
            }
            cea_mixture stale = r;
            int status = checked(cea_eqsolution_destroy(&x), "destroy") | checked(cea_eqsolver_destroy(&s), "destroy") |
                         checked(cea_mixture_destroy(&p), "destroy") | checked(cea_mixture_destroy(&r), "destroy");
            if (status != CEA_OK || r != nullptr ||
                (stale != nullptr && checked(cea_mixture_destroy(&stale), "stale") != CEA_NULL_HANDLE)) {
                fail("destroying the objects: status %d", status);
            }
        }
        }
    }
    return 0;
}
