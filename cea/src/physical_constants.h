// The physical constants and unit factors of the equilibrium library, each
// once, with its unit in its name.
#ifndef CEA_PHYSICAL_CONSTANTS_H
#define CEA_PHYSICAL_CONSTANTS_H

namespace cea_impl {

// Gas constant of the library, J/(kmol K): enthalpies are exchanged as h/R
// with this R, and it fixes the kJ of the solution properties.
static const double gas_constant_j_kmol_k = 8314.51;
static const double joules_per_kilojoule = 1000.0;
static const double moles_per_kilomole = 1000.0;
static const double pascals_per_bar = 100000.0;

} // namespace cea_impl

#endif
