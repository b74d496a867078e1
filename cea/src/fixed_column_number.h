// Conversion of one fixed-column numeric field of the thermodynamic database
// (Fortran F and E/D edit descriptors) to a correctly rounded double.
#ifndef CEA_FIXED_COLUMN_NUMBER_H
#define CEA_FIXED_COLUMN_NUMBER_H

#include <cstddef>

namespace cea_impl {

// Reads the number in field[0 .. width): optional blanks, an optional sign,
// digits with an optional decimal point, and an optional exponent introduced by
// E, e, D or d. Blanks may follow. Returns 1 and stores the correctly rounded
// value, or 0 when the field is blank or is not a number in that form.
int parse_fixed_number(const char *field, std::size_t width, double *value);

// 1 when field[0 .. width) holds only blanks (or is empty).
int field_is_blank(const char *field, std::size_t width);

}  // namespace cea_impl

#endif
