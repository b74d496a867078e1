// U.S. Standard Atmosphere 1976, seven layers, 0 to 86 km geometric altitude.
#ifndef LRE_ATMOSPHERE_H
#define LRE_ATMOSPHERE_H

// Writes the static pressure in Pa at geometric altitude altitude_m.
// Returns 1 on success, 0 for a null output or an altitude outside 0..86000 m
// (the output is then left untouched).
int standard_atmosphere_pressure(double altitude_m, double *pressure_pa);

#endif
