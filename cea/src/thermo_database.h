// The thermodynamic database in memory, and its reader for the NASA Glenn
// text format (thermo.inp: a "thermo" line, the common temperature bounds, the
// product records up to END PRODUCTS, the reactant-only records up to
// END REACTANTS).
#ifndef CEA_THERMO_DATABASE_H
#define CEA_THERMO_DATABASE_H

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "library_status.h"

namespace cea_impl {

static const int species_name_capacity = 24;
static const int formula_pair_count = 5;
static const int max_interval_count = 9;
static const int fit_coefficient_count = 7;
static const int fit_integration_constant_count = 2;

// One temperature interval of a 9-coefficient fit:
//   cp/R = a1 T^-2 + a2 T^-1 + a3 + a4 T + a5 T^2 + a6 T^3 + a7 T^4,
// with b1 and b2 the integration constants of H/RT and S/R.
struct thermo_interval {
    double t_low_k;
    double t_high_k;
    double a[fit_coefficient_count];
    double b[fit_integration_constant_count];
};

struct species_record {
    char name[species_name_capacity + 1];
    int element_count;                                // used formula pairs
    char element_symbols[formula_pair_count][3];      // "C", "H", "E", ...
    double element_amounts[formula_pair_count];       // atoms per molecule
    int condensed;                                    // 0 for a gas
    double molecular_weight_kg_kmol;
    // The heat of formation at 298.15 K for a fitted record, the assigned
    // enthalpy (at assigned_temperature_k) for a record without fits; J/mol.
    double enthalpy_j_mol;
    double assigned_temperature_k;                    // records without fits only
    int interval_count;                               // 0 for an assigned enthalpy
    int first_interval;                               // into the owner's interval list
    int product;                                      // 1 for the products part
    int line_number;                                  // of the name line, for messages
};

struct thermo_database {
    std::vector<species_record> species;
    std::vector<thermo_interval> intervals;
    std::unordered_map<std::string, int> index_by_name;
};

// Parses a whole database held in memory (LF or CRLF line ends). On failure
// returns CEA_MALFORMED_DATABASE with a text that names the line; *database is
// then unspecified. `source` names the text in messages.
int parse_thermo_text(const char *text, std::size_t length, const char *source, thermo_database *database,
                      failure *error);

// Reads and parses the file at path: CEA_INVALID_FILENAME when it cannot be
// opened or read.
int load_thermo_file(const char *path, thermo_database *database, failure *error);

// Index of the first species of that exact name, or -1.
int find_species(const thermo_database *database, const char *name);

}  // namespace cea_impl

#endif
