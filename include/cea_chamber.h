// Combustion-chamber thermochemistry over the chemical-equilibrium library:
// the HP equilibrium of liquid oxygen with one fuel at its inlet enthalpy.
#ifndef LRE_CEA_CHAMBER_H
#define LRE_CEA_CHAMBER_H

#include "cea_bindc.h"
#include "engine_records.h"

// Four library handles; all zero (closed) or all nonzero (open).
struct cea_chamber {
    cea_mixture reactants;   // O2(L) and the fuel, oxidizer first
    cea_mixture products;    // every product the two reactants can form
    cea_eqsolver solver;     // equilibrium solver over products and reactants
    cea_eqsolution solution; // where the solver writes its state
};

// Loads the database and creates the four handles; fuel_rp1 is 1 for RP-1,
// 0 for CH4(L). Returns 1 when open, 0 with a message in error_buffer.
int cea_chamber_open(cea_chamber *chamber, const char *thermo_lib, int fuel_rp1, char *error_buffer, int error_size);

// Creates the four handles on the database loaded already (by an open
// chamber): a second chamber for another thread, which may then solve while
// the first one does. Returns 1 when open, 0 with a message in error_buffer.
int cea_chamber_create(cea_chamber *chamber, int fuel_rp1, char *error_buffer, int error_size);

// The chamber state at p_c (Pa), mixture ratio k and inlet temperatures t_o,
// t_f (K). Returns 1 with *state filled, 0 with a message (possibly empty).
int cea_chamber_solve(cea_chamber *chamber, double p_c, double k, double t_o, double t_f, chamber_state *state,
                      char *error_buffer, int error_size);

// Releases every handle in reverse order of creation and zeroes the record.
void cea_chamber_close(cea_chamber *chamber);

#endif
