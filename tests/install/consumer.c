/* A program of the library's users, built against the installed library:
 * it solves one equilibrium and prints its temperature. */
#include <cea_bindc.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    const char *const reactants[] = {"CH4(L)", "O2(L)"};
    const double weights[] = {0.25, 0.75};
    cea_mixture fed = NULL, products = NULL;
    cea_eqsolver solver = NULL;
    cea_eqsolution state = NULL;
    double t_k = 0.0;
    int converged = 0;
    return argc != 2 || cea_init_thermo(argv[1]) != CEA_OK || cea_mixture_create(&fed, 2, reactants) != CEA_OK ||
           cea_mixture_create_from_reactants(&products, 2, reactants, 0, NULL) != CEA_OK ||
           cea_eqsolver_create_with_reactants(&solver, products, fed) != CEA_OK ||
           cea_eqsolution_create(&state, solver) != CEA_OK ||
           cea_eqsolver_solve(solver, CEA_TP, 3000.0, 10.0, weights, state) != CEA_OK ||
           cea_eqsolution_get_converged(state, &converged) != CEA_OK ||
           cea_eqsolution_get_property(state, CEA_TEMPERATURE, &t_k) != CEA_OK ||
           printf("converged %d at %.3f K\n", converged, t_k) < 0;
}
