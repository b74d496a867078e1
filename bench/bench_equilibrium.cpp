// Speed of the equilibrium library as the program uses it: opening (the
// database load and the four object creations of the chamber adapter) and
// the load alone, on the text database and on its compiled form side by
// side, and one HP chamber equilibrium at the tq12b presets (14 MPa,
// k 2.9, O2(L) at 90 K, CH4(L) at 111 K), which always starts from the
// library's own first estimate.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "cea_bindc.h"

namespace {

const char *const tq12b_propellants[2] = {"O2(L)", "CH4(L)"};
const char *const yf100k_propellants[2] = {"O2(L)", "RP-1"};

struct chamber {
    cea_mixture reactants = nullptr;
    cea_mixture products = nullptr;
    cea_eqsolver solver = nullptr;
    cea_eqsolution solution = nullptr;
};

int open_chamber(chamber *c, const char *const names[2], const char *database = LRE_THERMO_DATABASE)
{
    return cea_init_thermo(database) == CEA_OK && cea_mixture_create(&c->reactants, 2, names) == CEA_OK &&
           cea_mixture_create_from_reactants(&c->products, 2, names, 0, nullptr) == CEA_OK &&
           cea_eqsolver_create_with_reactants(&c->solver, c->products, c->reactants) == CEA_OK &&
           cea_eqsolution_create(&c->solution, c->solver) == CEA_OK;
}

void close_chamber(chamber *c)
{
    cea_eqsolution_destroy(&c->solution);
    cea_eqsolver_destroy(&c->solver);
    cea_mixture_destroy(&c->products);
    cea_mixture_destroy(&c->reactants);
}

void bm_open(benchmark::State &state, const char *database)
{
    for (auto _ : state) {
        chamber c;
        if (!open_chamber(&c, tq12b_propellants, database)) {
            state.SkipWithError("opening failed");
            break;
        }
        state.PauseTiming();
        close_chamber(&c);
        state.ResumeTiming();
    }
}
BENCHMARK_CAPTURE(bm_open, text, LRE_THERMO_DATABASE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_open, compiled, LRE_THERMO_LIB)->Unit(benchmark::kMillisecond);

// The database load alone (a fresh arena every time, as in a new process,
// though without its cold caches).
void bm_load_database(benchmark::State &state, const char *database)
{
    for (auto _ : state) {
        if (cea_init_thermo(database) != CEA_OK) {
            state.SkipWithError("loading failed");
            break;
        }
    }
}
BENCHMARK_CAPTURE(bm_load_database, text, LRE_THERMO_DATABASE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_load_database, compiled, LRE_THERMO_LIB)->Unit(benchmark::kMillisecond);

// The chamber adapter's eight calls for one state; the solve inside starts
// from scratch every time.
void chamber_state(benchmark::State &state, const char *const names[2], double p_c_pa, double k, double t_o_k,
                   double t_f_k)
{
    chamber c;
    if (!open_chamber(&c, names)) {
        state.SkipWithError("opening failed");
        return;
    }
    const double oxidant[2] = {1.0, 0.0};
    const double fuel[2] = {0.0, 1.0};
    const double temperatures[2] = {t_o_k, t_f_k};
    for (auto _ : state) {
        double weights[2];
        double h = 0.0;
        int converged = 0;
        double t = 0.0, m = 0.0, cp = 0.0, cv = 0.0;
        int status = cea_mixture_of_ratio_to_weights(c.reactants, 2, oxidant, fuel, k, weights) |
                     cea_mixture_calc_property_multitemp(c.reactants, CEA_ENTHALPY, 2, weights, 2, temperatures, &h) |
                     cea_eqsolver_solve(c.solver, CEA_HP, h / 8314.51, p_c_pa / 100000.0, weights, c.solution) |
                     cea_eqsolution_get_converged(c.solution, &converged) |
                     cea_eqsolution_get_property(c.solution, CEA_TEMPERATURE, &t) |
                     cea_eqsolution_get_property(c.solution, CEA_M, &m) |
                     cea_eqsolution_get_property(c.solution, CEA_FROZEN_CP, &cp) |
                     cea_eqsolution_get_property(c.solution, CEA_FROZEN_CV, &cv);
        if (status != CEA_OK || !converged) {
            state.SkipWithError("the equilibrium failed");
            break;
        }
        benchmark::DoNotOptimize(t + m + cp / cv);
    }
    close_chamber(&c);
}

void bm_hp_solve_tq12b(benchmark::State &state) { chamber_state(state, tq12b_propellants, 14e6, 2.9, 90.0, 111.0); }
BENCHMARK(bm_hp_solve_tq12b)->Unit(benchmark::kMicrosecond);

// For comparison: the staged-cycle module's propellants, and a fuel-rich
// state where solid carbon forms.
void bm_hp_solve_rp1(benchmark::State &state) { chamber_state(state, yf100k_propellants, 18.7e6, 2.6, 90.17, 298.15); }
BENCHMARK(bm_hp_solve_rp1)->Unit(benchmark::kMicrosecond);

void bm_hp_solve_solid_carbon(benchmark::State &state)
{
    chamber_state(state, tq12b_propellants, 0.5e6, 1.0, 90.0, 111.0);
}
BENCHMARK(bm_hp_solve_solid_carbon)->Unit(benchmark::kMicrosecond);

} // namespace
