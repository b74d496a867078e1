/* A program of the library's users, built against the installed library:
 * it solves one equilibrium and reads back a refusal, then prints both. */
#include <cea_bindc.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    const char *const reactants[] = {"CH4(L)", "O2(L)"}, *const unknown[] = {"XX(L)"};
    const double weights[] = {0.25, 0.75};
    cea_mixture fed = NULL, products = NULL, refused = NULL;
    cea_eqsolver solver = NULL;
    cea_eqsolution state = NULL;
    double t_k = 0.0;
    int converged = 0;
    char message[256] = "";
    if (argc != 2 || cea_init_thermo(argv[1]) != CEA_OK || cea_mixture_create(&fed, 2, reactants) != CEA_OK ||
        cea_mixture_create_from_reactants(&products, 2, reactants, 0, NULL) != CEA_OK ||
        cea_eqsolver_create_with_reactants(&solver, products, fed) != CEA_OK ||
        cea_eqsolution_create(&state, solver) != CEA_OK ||
        cea_eqsolver_solve(solver, CEA_TP, 3000.0, 10.0, weights, state) != CEA_OK ||
        cea_eqsolution_get_converged(state, &converged) != CEA_OK ||
        cea_eqsolution_get_property(state, CEA_TEMPERATURE, &t_k) != CEA_OK) {
        return 1;
    }
    printf("converged %d at %.3f K\nunknown species: status %d", converged, t_k,
           cea_mixture_create(&refused, 1, unknown));
    if (cea_last_error_message_buf(message, (int)sizeof message) == CEA_OK) {
        printf(", %s", message);
    }
    printf("\n");
    cea_eqsolution_destroy(&state);
    cea_eqsolver_destroy(&solver);
    cea_mixture_destroy(&products);
    cea_mixture_destroy(&fed);
    return 0;
}
