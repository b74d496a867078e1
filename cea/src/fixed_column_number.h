// Conversion of one fixed-column numeric field of the thermodynamic database
// (Fortran F and E/D edit descriptors) to a correctly rounded double.
#ifndef CEA_FIXED_COLUMN_NUMBER_H
#define CEA_FIXED_COLUMN_NUMBER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cea_impl {

// Reads the number in field[0 .. width): optional blanks, an optional sign,
// digits with an optional decimal point, and an optional exponent introduced by
// E, e, D or d. Blanks may follow. Returns 1 and stores the correctly rounded
// value, or 0 when the field is blank or is not a number in that form.
int parse_fixed_number(const char *field, std::size_t width, double *value);

// 1 when field[0 .. width) holds only blanks (or is empty).
int field_is_blank(const char *field, std::size_t width);

// m * 10^scale correctly rounded, for m < 2^64 and |scale| up to 27; 0
// outside what it covers.
int scale_decimal(std::uint64_t m, int scale, double *value);

// 10^0 .. 10^22, each exact as a double.
extern const double powers_of_ten[];
static const int max_exact_power_of_ten = 22;

// The value of eight ASCII digits p[0 .. 8), read as one word: 1, or 0 when
// one of them is not a digit.
inline int eight_digits(const char *p, std::uint32_t *value)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t w = 0;
    std::memcpy(&w, p, sizeof w);
    if ((((w & 0xF0F0F0F0F0F0F0F0u) | (((w + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) >> 4)) !=
         0x3333333333333333u)) {
        return 0;
    }
    // First digit in the lowest byte: pairs, then fours, then all eight.
    w -= 0x3030303030303030u;
    w = w * 10 + (w >> 8);
    w = (((w & 0x000000FF000000FFu) * 0x000F424000000064u) +
         (((w >> 16) & 0x000000FF000000FFu) * 0x0000271000000001u)) >>
        32;
    *value = static_cast<std::uint32_t>(w);
    return 1;
#else
    std::uint32_t v = 0;
    for (int i = 0; i < 8; ++i) {
        unsigned d = static_cast<unsigned>(static_cast<unsigned char>(p[i])) - '0';
        if (d > 9) {
            return 0;
        }
        v = v * 10 + d;
    }
    *value = v;
    return 1;
#endif
}

// m * 10^scale beyond the one-operation range: trailing zeros of m moved
// into the scale, then scale_decimal.
int scale_wide_decimal(std::uint64_t m, int scale, double *value);

// m * 10^scale for a mantissa of at most ten digits: one exact operation
// when it can, else scale_wide_decimal. 0 when neither covers it.
inline int ten_digit_decimal(std::uint64_t m, int scale, double *value)
{
    if (m == 0) {
        *value = 0.0;
        return 1;
    }
    if (scale < -max_exact_power_of_ten || scale > max_exact_power_of_ten) {
        return scale_wide_decimal(m, scale, value);
    }
    double dm = static_cast<double>(m);
    *value = scale >= 0 ? dm * powers_of_ten[scale] : dm / powers_of_ten[-scale];
    return 1;
}

// d.ddddddddd, D or E, a sign and two digits at d[0 .. 15), the shape of
// nearly every number of the database, read eight digits at a time: 1 and
// the correctly rounded value (as parse_fixed_number gives), negated when
// negative, or 0 for anything else.
inline int parse_database_digits(const char *d, int negative, double *value)
{
    char exponent_sign = d[12];
    unsigned first = static_cast<unsigned>(d[0] - '0');
    unsigned last = static_cast<unsigned>(d[10] - '0');
    unsigned e1 = static_cast<unsigned>(d[13] - '0');
    unsigned e2 = static_cast<unsigned>(d[14] - '0');
    std::uint32_t middle = 0;
    if (d[1] != '.' || (d[11] != 'D' && d[11] != 'E') || (exponent_sign != '+' && exponent_sign != '-') || first > 9 ||
        last > 9 || e1 > 9 || e2 > 9 || !eight_digits(d + 2, &middle)) {
        return 0;
    }
    std::uint64_t mantissa = (first * 100000000u + middle) * std::uint64_t{10} + last;
    int exponent = static_cast<int>(e1 * 10 + e2);
    double result = 0.0;
    if (!ten_digit_decimal(mantissa, (exponent_sign == '-' ? -exponent : exponent) - 9, &result)) {
        return 0;
    }
    *value = negative ? -result : result;
    return 1;
}

// A coefficient field exactly as the database writes it, 16 columns: a
// sign (or blank), then the digits above. 0 for anything else, which
// parse_fixed_number then reads. Called inline for the nine coefficient
// fields of every interval.
inline int parse_coefficient_field(const char *f, double *value)
{
    if (f[0] != ' ' && f[0] != '-' && f[0] != '+') {
        return 0;
    }
    return parse_database_digits(f + 1, f[0] == '-', value);
}

} // namespace cea_impl

#endif
