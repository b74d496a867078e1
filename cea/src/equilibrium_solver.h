// Chemical equilibrium of a product mixture by minimisation of Gibbs energy
// (Gordon & McBride, NASA RP-1311): Newton iteration on the reduced equations
// in the element potentials, the condensed amounts, ln n and ln T, with the
// published step control, condensed species entering and leaving after each
// convergence, and condensed phases chosen by temperature.
#ifndef CEA_EQUILIBRIUM_SOLVER_H
#define CEA_EQUILIBRIUM_SOLVER_H

#include <vector>

#include "library_status.h"
#include "mixture.h"
#include "species_thermo.h"

namespace cea_impl {

static const int element_symbol_capacity = 3;
// Rows of the per-gas coefficient table: g/RT on 9 terms, H/RT on 8, Cp/R on 7.
static const int gibbs_terms = 9;
static const int enthalpy_terms = 8;
static const int heat_capacity_terms = 7;
static const int gas_coefficient_rows = gibbs_terms + enthalpy_terms + heat_capacity_terms;

// Everything a solve needs, sized when the solver is created so that a
// solve allocates nothing. The solver keeps its own copies of the species
// data: it does not depend on the mixtures it was made from.
//
// Gases are held as structure-of-arrays (one row per quantity, one column
// per gas) so that the functions of all gases at one temperature are a few
// straight loops; condensed species, few and tested one by one, are held by
// species.
struct equilibrium_solver {
    int element_count;
    std::vector<char> element_symbols;          // element_count * 3, terminated
    int reactant_count;
    std::vector<double> reactant_atoms_per_kg;  // [r * E + i]: a_ri / M_r, kmol/kg
    int species_count;
    std::vector<species_record> species;
    std::vector<species_fit> fits;              // per species
    std::vector<compact_interval> intervals;

    int gas_count;
    int small_gas_count;                        // the first columns: gases of at most three atoms
    std::vector<int> gas_species;               // species index of gas g
    std::vector<int> gas_usable;                // 0 when a gas holds an element no reactant has
    std::vector<int> gas_small;                 // 1 for gases of at most three atoms
    std::vector<double> gas_atoms;              // [i * G + g]
    std::vector<double> gas_coefficients;       // [row * G + g], the interval loaded for the current T
    std::vector<double> gas_valid_low;          // the loaded interval serves low < T <= high
    std::vector<double> gas_valid_high;

    int condensed_count;
    std::vector<int> condensed_species;         // species index of condensed c
    std::vector<int> condensed_usable;
    std::vector<int> condensed_group;           // phases of one substance share a group
    std::vector<double> condensed_atoms;        // [c * E + i]

    // Work storage of one solve.
    std::vector<double> b0;
    std::vector<int> element_active;
    std::vector<int> active_elements;
    std::vector<int> gas_active;
    std::vector<double> ln_n;
    std::vector<double> n;
    std::vector<double> g_rt;
    std::vector<double> h_rt;
    std::vector<double> cp_r;
    std::vector<double> mu;
    std::vector<double> dln;
    std::vector<int> present;                   // gases in the sums of this iteration
    std::vector<int> present_list;              // the same as a list of gas indices
    std::vector<int> condensed_active;
    std::vector<int> included;                  // condensed species in the iteration
    std::vector<int> included_list;
    std::vector<int> phase_swaps;
    std::vector<double> condensed_n;
    std::vector<double> condensed_g_rt;
    std::vector<double> condensed_h_rt;
    std::vector<double> condensed_cp_r;
    std::vector<double> condensed_s_r;
    std::vector<double> matrix;
    std::vector<double> unknowns;
    std::vector<double> pi;
    std::vector<double> b_current;
};

// What one solve leaves behind.
struct equilibrium_solution {
    int species_count;
    int element_count;
    int has_result;   // a solve ran to the end (converged or not)
    int converged;
    int iterations;
    double t_k;
    double p_bar;
    double n_gas;           // kmol/kg
    double n_total;         // kmol/kg, every phase
    double h_over_r;        // kmol K/kg
    double cp_frozen_over_r;
    double s_over_r;
    double cp_equilibrium_over_r;
    double dlnv_dlnt;       // (d ln V / d ln T) at constant p
    double dlnv_dlnp;       // (d ln V / d ln p) at constant T
    int derivatives_valid;
    std::vector<double> moles;               // kmol/kg per species; 0 where absent or below mole fraction 1e-25
    std::vector<double> element_potentials;  // pi_i, 0 for absent elements
};

// Optional starting point, for tests of independence from the start.
struct solve_start {
    double t_k;
    double n_total;
    int skip_first_estimate;  // 1: start all gases alike, without the small-gas stage
};

int create_equilibrium_solver(const mixture *products, const mixture *reactants, equilibrium_solver *solver,
                              failure *error);

void create_equilibrium_solution(const equilibrium_solver *solver, equilibrium_solution *solution);

// type CEA_TP (state1 T in K) or CEA_HP (state1 h/R in kmol K/kg); state2 p in
// bar; amounts the reactant weights. Returns CEA_OK when the iteration ran
// (solution->converged tells whether it converged) or an error status for
// bad arguments, leaving the solution without a result.
int solve_equilibrium(equilibrium_solver *solver, int type, double state1, double state2, const double amounts[],
                      const solve_start *start, equilibrium_solution *solution, failure *error);

}  // namespace cea_impl

#endif
