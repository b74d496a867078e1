// What one equilibrium solve leaves behind: the state, its sums and
// derivatives, and why it did not converge when it did not. The properties
// of the C interface are computed from it (state_properties.h).
#ifndef CEA_EQUILIBRIUM_SOLUTION_H
#define CEA_EQUILIBRIUM_SOLUTION_H

#include <cstddef>

namespace cea_impl {

// Why a solve that ran to the end did not converge.
enum {
    unconverged_iterations = 1,  // no convergence within the iteration limits, or singular equations
    unconverged_balance = 2,     // settled without meeting the element or enthalpy balance
    unconverged_temperature = 3, // settled at a temperature outside the products' data (HP)
    // HP: the state lies beyond a limit of the products' data. The solution
    // holds the equilibrium at the limit (t_k, h_over_r), whose enthalpy is
    // already past the assigned one (assigned_h_over_r).
    unconverged_below_data = 4,
    unconverged_above_data = 5
};

// What one solve leaves behind.
struct equilibrium_solution {
    int species_count;
    int element_count;
    int has_result; // a solve ran to the end (converged or not)
    int converged;
    int unconverged_reason; // 0 when converged, else one of the unconverged_ codes
    double data_low_k;      // the temperatures that the fits of the solve's gases cover
    double data_high_k;
    int iterations;
    double t_k;
    double p_bar;
    double n_gas;             // kmol/kg
    double n_total;           // kmol/kg, every phase
    double h_over_r;          // kmol K/kg
    double assigned_h_over_r; // the h/R of an HP problem, kmol K/kg
    double cp_frozen_over_r;
    double s_over_r;
    double cp_equilibrium_over_r;
    double dlnv_dlnt; // (d ln V / d ln T) at constant p
    double dlnv_dlnp; // (d ln V / d ln p) at constant T
    int derivatives_valid;
    // ln of the mole fraction below which a gas is a trace gas, left out of
    // the balances, n and the moles below, but counted in the frozen cp:
    // ln 1e-8, or ln 1e-11 once a condensed species has entered (deeper
    // with a trace element).
    double trace_log_fraction;
    double *moles;              // kmol/kg per species; 0 where absent or a trace gas
    double *element_potentials; // pi_i, 0 for absent elements (in the same allocation as moles)
};

// Why the last solve into a solution that holds an unconverged result did
// not converge, for its error text: "" when the iterations ran out, else a
// clause that starts with ": ". Writes at most size bytes, terminated.
void describe_unconverged(const equilibrium_solution *solution, char *text, std::size_t size);

} // namespace cea_impl

#endif
