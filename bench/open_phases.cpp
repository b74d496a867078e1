// Where the library's share of a run goes, in a fresh process as the
// program sees it: the wall time and the new memory pages (minor faults) of
// the database load, of each of the four creations, and of a first and a
// second HP solve at the tq12b presets. One process gives one line; run it
// many times for medians:
//   for i in $(seq 50); do build/bench/bench/open_phases data/thermo.inp; done
// The Google Benchmark (bench_equilibrium) measures the same operations warm,
// in a loop; this measures them cold, once, as a user of the program waits
// for them.
#include <sys/resource.h>

#include <cstdio>
#include <ctime>

#include "cea_bindc.h"

namespace {

struct mark {
    double microseconds;
    long faults;
};

mark now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return {static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3, usage.ru_minflt};
}

void print_phase(const char *name, const mark &from, const mark &to)
{
    std::printf(" %s %.0f us %ld f", name, to.microseconds - from.microseconds, to.faults - from.faults);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: open_phases DATABASE\n");
        return 1;
    }
    const char *const names[2] = {"O2(L)", "CH4(L)"};
    cea_mixture reactants = nullptr;
    cea_mixture products = nullptr;
    cea_eqsolver solver = nullptr;
    cea_eqsolution solution = nullptr;
    const double oxidant[2] = {1.0, 0.0};
    const double fuel[2] = {0.0, 1.0};
    const double temperatures[2] = {90.0, 111.0};
    double weights[2] = {0.0, 0.0};
    double h = 0.0;
    mark m[8];
    m[0] = now();
    int status = cea_init_thermo(argv[1]);
    m[1] = now();
    status |= cea_mixture_create(&reactants, 2, names);
    m[2] = now();
    status |= cea_mixture_create_from_reactants(&products, 2, names, 0, nullptr);
    m[3] = now();
    status |= cea_eqsolver_create_with_reactants(&solver, products, reactants);
    m[4] = now();
    status |= cea_eqsolution_create(&solution, solver);
    m[5] = now();
    for (int k = 6; k < 8 && status == CEA_OK; ++k) {
        status |= cea_mixture_of_ratio_to_weights(reactants, 2, oxidant, fuel, 2.9, weights);
        status |= cea_mixture_calc_property_multitemp(reactants, CEA_ENTHALPY, 2, weights, 2, temperatures, &h);
        status |= cea_eqsolver_solve(solver, CEA_HP, h / 8314.51, 140.0, weights, solution);
        m[k] = now();
    }
    if (status != CEA_OK) {
        std::fprintf(stderr, "open_phases: a library call failed\n");
        return 1;
    }
    std::printf("before %ld f;", m[0].faults);
    print_phase("load", m[0], m[1]);
    print_phase("reactants", m[1], m[2]);
    print_phase("products", m[2], m[3]);
    print_phase("solver", m[3], m[4]);
    print_phase("solution", m[4], m[5]);
    print_phase("solve1", m[5], m[6]);
    print_phase("solve2", m[6], m[7]);
    std::printf("\n");
    cea_eqsolution_destroy(&solution);
    cea_eqsolver_destroy(&solver);
    cea_mixture_destroy(&products);
    cea_mixture_destroy(&reactants);
    return 0;
}
