// Chemical equilibrium of a product mixture by minimisation of Gibbs energy
// (Gordon & McBride, NASA RP-1311): Newton iteration on the reduced equations
// in the element potentials, the condensed amounts, ln n and ln T, with the
// published step control, trace gases left out of the sums as the method
// leaves them out, condensed species entering and leaving after each
// convergence, and condensed phases chosen by temperature.
#ifndef CEA_EQUILIBRIUM_SOLVER_H
#define CEA_EQUILIBRIUM_SOLVER_H

#include "equilibrium_solution.h"
#include "library_status.h"
#include "mixture.h"
#include "thermo_functions.h"

namespace cea_impl {

static const int element_symbol_capacity = 3;
// Rows of the per-gas coefficient table: g/RT on 9 terms, H/RT on 8, Cp/R on 7.
static const int gibbs_terms = 9;
static const int enthalpy_terms = 8;
static const int heat_capacity_terms = 7;
static const int gas_coefficient_rows = gibbs_terms + enthalpy_terms + heat_capacity_terms;

// Everything a solve needs, sized when the solver is created and held in
// one allocation, so that a solve allocates nothing. The species records
// stay in the database of the product mixture, which whoever holds the
// solver keeps alive; the solver does not depend on the mixtures
// themselves.
//
// Gases are held as structure-of-arrays (one row per quantity, one column
// per gas) so that the functions of all gases at one temperature are a few
// straight loops; condensed species, few and tested one by one, are held by
// species.
struct equilibrium_solver {
    void *block;             // the one allocation behind every array below,
    std::size_t block_bytes; // lent by the database (lend_object_memory)
    const thermo_database *database;
    int element_count;
    char *element_symbols; // element_count * 3, terminated
    int reactant_count;
    double *reactant_atoms_per_kg; // [r * E + i]: a_ri / M_r, kmol/kg
    int species_count;
    int *species; // database index of product j

    int gas_count;
    int small_gas_count;      // the first columns: gases of at most three atoms
    int *gas_species;         // product index of gas g
    int *gas_usable;          // 0 when a gas holds an element no reactant has
    int *gas_small;           // 1 for gases of at most three atoms
    double *gas_atoms;        // [i * G + g]
    double *gas_coefficients; // [row * G + g], the interval loaded for the current T
    double *gas_valid_low;    // the loaded interval serves low < T <= high
    double *gas_valid_high;
    double *gas_data_low; // the temperatures the fits of gas g cover, K
    double *gas_data_high;
    double data_low_k; // where every usable gas has data
    double data_high_k;

    int condensed_count;
    int *condensed_species; // product index of condensed c
    int *condensed_usable;
    int *condensed_group;    // phases of one substance share a group
    double *condensed_atoms; // [c * E + i]

    // Work storage of one solve.
    double *b0;
    int *element_active;
    int *active_elements;
    int *gas_active;
    double *ln_n;
    double *n;
    double *g_rt;
    double *h_rt;
    double *cp_r;
    double *mu;
    double *dln;
    int *present;      // gases in the sums of this iteration
    int *present_list; // the same as a list of gas indices
    int *condensed_active;
    int *included; // condensed species in the iteration
    int *included_list;
    int *phase_swaps;
    double *condensed_n;
    double *condensed_g_rt;
    double *condensed_h_rt;
    double *condensed_cp_r;
    double *condensed_s_r;
    double *matrix;
    double *unknowns;
    double *pi;
    double *b_current;
};

// The record of product j.
inline const species_record *solver_species(const equilibrium_solver *solver, int j)
{
    return database_species(solver->database, solver->species[j]);
}

// Optional starting point, for tests of independence from the start.
struct solve_start {
    double t_k;
    double n_total;
    int skip_first_estimate; // 1: start all gases alike, without the small-gas stage
};

// Both overwrite their output; on failure it owns nothing. The products
// must be of one database (their records stay there).
int create_equilibrium_solver(const mixture *products, const mixture *reactants, equilibrium_solver *solver,
                              failure *error);

int create_equilibrium_solution(const equilibrium_solver *solver, equilibrium_solution *solution, failure *error);

void release_equilibrium_solver(equilibrium_solver *solver);

void release_equilibrium_solution(equilibrium_solution *solution);

// type CEA_TP (state1 T in K) or CEA_HP (state1 h/R in kmol K/kg); state2 p in
// bar; amounts the reactant weights. Returns CEA_OK when the iteration ran
// (solution->converged tells whether it converged) or an error status for
// bad arguments, leaving the solution without a result: CEA_TEMPERATURE_RANGE
// for a TP temperature outside the data of the gases that the reactants
// can form, CEA_INVALID_ARGUMENT among others for a pressure at which the
// converged state cannot be represented (a property that is not a finite
// number). Converged means that every element and, for HP, the enthalpy
// balance to 1e-10 of themselves over the species in the sums (trace gases
// below trace_log_fraction left out), and that T lies within those data; an
// HP solve that settles outside them returns CEA_OK, not converged.
int solve_equilibrium(equilibrium_solver *solver, int type, double state1, double state2, const double amounts[],
                      const solve_start *start, equilibrium_solution *solution, failure *error);

} // namespace cea_impl

#endif
