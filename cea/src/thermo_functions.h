// Dimensionless thermodynamic functions of one species from its
// 9-coefficient fits, in a compact form for repeated evaluation:
//   cp/R = a1 T^-2 + a2 T^-1 + a3 + a4 T + a5 T^2 + a6 T^3 + a7 T^4
//   H/RT = -a1 T^-2 + a2 ln(T)/T + a3 + a4 T/2 + a5 T^2/3 + a6 T^3/4 + a7 T^4/5 + b1/T
//   S/R  = -a1 T^-2/2 - a2 T^-1 + a3 ln T + a4 T + a5 T^2/2 + a6 T^3/3 + a7 T^4/4 + b2
#ifndef CEA_THERMO_FUNCTIONS_H
#define CEA_THERMO_FUNCTIONS_H

#include "thermo_database.h"

namespace cea_impl {

// The powers of T that every species shares at one temperature.
struct temperature_powers {
    double t;
    double inv_t;
    double inv_t2;
    double ln_t;
    double ln_t_over_t;
    double t2;
    double t3;
    double t4;
};

// One interval with its coefficients already divided by the constants of
// the integrated forms, so that each function is one dot product.
struct compact_interval {
    double t_high_k;
    double cp[7]; // on T^-2, T^-1, 1, T, T^2, T^3, T^4
    double h[8];  // on T^-2, ln(T)/T, 1, T, T^2, T^3, T^4, T^-1
    double s[8];  // on T^-2, T^-1, ln T, T, T^2, T^3, T^4, 1
};

struct species_functions {
    double cp_r; // Cp/R
    double h_rt; // H/RT
    double s_r;  // S/R at 1 bar
};

void make_temperature_powers(double t, temperature_powers *powers);

// The compact form of one interval of the database.
void compact_interval_of(const thermo_interval *in, compact_interval *out);

// The interval of a record (count > 0 of them) that serves temperature t:
// the first whose upper bound is at least t, the last one above every bound
// (and the first below them), so a fit is extended beyond its range rather
// than failing mid-iteration.
const thermo_interval *select_interval(const thermo_interval *intervals, int count, double t);

void evaluate_interval(const compact_interval *interval, const temperature_powers *powers, species_functions *out);

// The functions of a fitted record at the temperature of `powers`.
void evaluate_species(const species_record *record, const temperature_powers *powers, species_functions *out);

} // namespace cea_impl

#endif
