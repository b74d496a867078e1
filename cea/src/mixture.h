// Mixtures: an ordered list of species of one database. The records stay
// in the database; whoever holds a mixture keeps its database alive (the C
// interface counts the holders), so a later load does not disturb it.
#ifndef CEA_MIXTURE_H
#define CEA_MIXTURE_H

#include "library_status.h"
#include "physical_constants.h"
#include "thermo_database.h"

namespace cea_impl {

struct mixture {
    const thermo_database *database;
    int species_count;
    int *species; // indices into the database, owned
};

// An empty mixture that owns nothing.
void init_mixture(mixture *mix);

// Frees what the mixture owns and leaves it empty.
void release_mixture(mixture *mix);

inline const species_record *mixture_species(const mixture *mix, int i)
{
    return database_species(mix->database, mix->species[i]);
}

// The functions that build a mixture overwrite *out; on failure it owns
// nothing.

// A mixture of the named species, looked up exactly in the whole database.
int mixture_from_names(const thermo_database *database, int n, const char *const names[], mixture *out, failure *error);

// Every species of the products part whose elements all occur among the named
// reactants' elements, in database order, less the names in omit.
int mixture_of_products(const thermo_database *database, int n, const char *const names[], int n_omit,
                        const char *const omit[], mixture *out, failure *error);

// Mass fractions of the mixture's species at oxidizer-to-fuel mass ratio
// of_ratio, from the two compositions (each normalised to unit mass).
int ratio_to_weights(const mixture *mix, int n, const double oxidant[], const double fuel[], double of_ratio,
                     double weights[], failure *error);

// Enthalpy in J/kg of the weighted mixture, species i at temperatures[i].
int reactant_enthalpy(const mixture *mix, int n_weights, const double weights[], int n_temperatures,
                      const double temperatures[], double *enthalpy_j_kg, failure *error);

// H/R in K of one species at temperature t, with the same temperature rules
// as reactant_enthalpy.
int species_enthalpy_over_r(const mixture *mix, int species, double t, double *h_over_r_k, failure *error);

} // namespace cea_impl

#endif
