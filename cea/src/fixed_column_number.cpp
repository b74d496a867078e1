// Fixed-column number conversion. The database holds some sixty thousand
// numbers, and a general strtod per field costs more than the whole load may
// take, so the common shapes are converted here exactly: the decimal digits
// form an integer m and the value is m * 10^e. When m < 2^53 and |e| <= 22
// both m and 10^|e| are exact doubles and one multiplication or division is
// correctly rounded. Wider exponents are done in 128-bit integer arithmetic
// with an explicit round-to-nearest-even, and anything else (more than 19
// significant digits, huge exponents) falls back to strtod.
#include "fixed_column_number.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace cea_impl {

__extension__ typedef unsigned __int128 uint128;

extern const double powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
static const std::uint64_t max_exact_mantissa = (static_cast<std::uint64_t>(1) << 53);
// 5^27 < 2^63 and 2^64 * 5^27 < 2^127: the widest scaling the 128-bit paths take.
static const int max_wide_power_of_five = 27;
static const int max_significant_digits = 19;
static const std::size_t max_fallback_field = 63;

static int is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

static int is_digit(char c) { return c >= '0' && c <= '9'; }

static int bit_length(uint128 x)
{
    std::uint64_t high = static_cast<std::uint64_t>(x >> 64);
    std::uint64_t low = static_cast<std::uint64_t>(x);
    if (high != 0) {
        return 128 - __builtin_clzll(high);
    }
    return low != 0 ? 64 - __builtin_clzll(low) : 0;
}

// 2^exponent for a normal power of two, built from its bits (no library
// call: the number reader must not pull in code pages it rarely needs).
static double power_of_two(int exponent)
{
    std::uint64_t bits = static_cast<std::uint64_t>(exponent + 1023) << 52;
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// k * 2^exponent for an exact integer k below 2^54, rounded once.
static double scaled_integer(std::uint64_t k, int exponent)
{
    if (exponent >= -1022 && exponent <= 1023) {
        return static_cast<double>(k) * power_of_two(exponent);
    }
    return std::ldexp(static_cast<double>(k), exponent);
}

// Rounds x (nonzero) to 53 significant bits, nearest with ties to even, where
// `sticky` says that nonzero bits below x were already discarded, and returns
// the result times 2^binary_exponent.
static double round_to_double(uint128 x, int sticky, int binary_exponent)
{
    int length = bit_length(x);
    if (length <= 53) {
        return scaled_integer(static_cast<std::uint64_t>(x), binary_exponent);
    }
    int shift = length - 53;
    uint128 kept = x >> shift;
    uint128 dropped = x - (kept << shift);
    uint128 half = static_cast<uint128>(1) << (shift - 1);
    int round_up = 0;
    if (dropped > half || (dropped == half && (sticky || (kept & 1) != 0))) {
        round_up = 1;
    }
    if (round_up) {
        ++kept; // 2^53 after a carry is still exact
    }
    return scaled_integer(static_cast<std::uint64_t>(kept), binary_exponent + shift);
}

// 5^0 .. 5^27, each below 2^63.
static const std::uint64_t powers_of_five[] = {
    1ull,
    5ull,
    25ull,
    125ull,
    625ull,
    3125ull,
    15625ull,
    78125ull,
    390625ull,
    1953125ull,
    9765625ull,
    48828125ull,
    244140625ull,
    1220703125ull,
    6103515625ull,
    30517578125ull,
    152587890625ull,
    762939453125ull,
    3814697265625ull,
    19073486328125ull,
    95367431640625ull,
    476837158203125ull,
    2384185791015625ull,
    11920928955078125ull,
    59604644775390625ull,
    298023223876953125ull,
    1490116119384765625ull,
    7450580596923828125ull,
};

#if defined(__x86_64__) && __LDBL_MANT_DIG__ == 64
// m / 10^q = (m / 5^q) 2^-q for q up to 27, where 5^q and m are exact in the
// 64-bit significand of the x87 format: the quotient is rounded once to 64
// bits, and rounding that to 53 bits gives the correctly rounded double
// unless the first rounding landed exactly on a midpoint between doubles
// (its 11 extra bits 10000000000), which never lies between the exact
// quotient and its 64-bit rounding. 0 in that case: the integer path
// decides.
static int divide_extended(std::uint64_t m, int q, double *value)
{
    static const std::uint64_t midpoint_bits = 0x400;
    static const std::uint64_t extra_bits_mask = 0x7ff;
    long double quotient = static_cast<long double>(m) / static_cast<long double>(powers_of_five[q]);
    std::uint64_t significand = 0;
    std::memcpy(&significand, &quotient, sizeof significand);
    if ((significand & extra_bits_mask) == midpoint_bits) {
        return 0;
    }
    // Scaling by a power of two is exact: the value stays a normal double.
    *value = static_cast<double>(quotient) / static_cast<double>(static_cast<std::uint64_t>(1) << q);
    return 1;
}
#endif

// Unsigned integers of three 64-bit words, least significant first: enough
// for m * 2^s and (2C + 1) * 5^q below.
struct wide_unsigned {
    std::uint64_t w[3];
};

static wide_unsigned times_wide(std::uint64_t a, uint128 b)
{
    uint128 low = static_cast<uint128>(a) * static_cast<std::uint64_t>(b);
    uint128 high = static_cast<uint128>(a) * static_cast<std::uint64_t>(b >> 64);
    uint128 middle = (low >> 64) + static_cast<std::uint64_t>(high);
    wide_unsigned r;
    r.w[0] = static_cast<std::uint64_t>(low);
    r.w[1] = static_cast<std::uint64_t>(middle);
    r.w[2] = static_cast<std::uint64_t>(high >> 64) + static_cast<std::uint64_t>(middle >> 64);
    return r;
}

// m * 2^shift, for a product below 2^192.
static wide_unsigned shifted_wide(std::uint64_t m, int shift)
{
    wide_unsigned r = {{0, 0, 0}};
    int word = shift / 64;
    int bit = shift % 64;
    r.w[word] = m << bit;
    if (bit != 0 && word + 1 < 3) {
        r.w[word + 1] = m >> (64 - bit);
    }
    return r;
}

static int compare_wide(const wide_unsigned &a, const wide_unsigned &b)
{
    for (int i = 2; i >= 0; --i) {
        if (a.w[i] != b.w[i]) {
            return a.w[i] < b.w[i] ? -1 : 1;
        }
    }
    return 0;
}

static const int max_verified_power_of_five = 54; // 5^54 = 5^27 * 5^27 < 2^126

// m / 10^q for 27 < q <= 54 and m nonzero. A candidate from floating-point
// division is moved, a step of one unit in the last place at a time, to the
// double whose rounding interval holds m / 10^q: with c = C 2^E, that
// interval runs from (2C - 1) 2^(E-1) (or (4C - 1) 2^(E-2) when C is a power
// of two) to (2C + 1) 2^(E-1), ends to the even neighbour, and m / 10^q is
// compared with its ends exactly as m 2^s against N 5^q in 192-bit
// integers. 0 if the candidate were too far off (it never is).
static int divide_verified(std::uint64_t m, int q, double *value)
{
    static const int max_steps = 4;
    static const std::uint64_t hidden_bit = static_cast<std::uint64_t>(1) << 52;
    uint128 five = static_cast<uint128>(powers_of_five[27]) * powers_of_five[q - 27];
    long double quotient = static_cast<long double>(m) / static_cast<long double>(powers_of_five[27]) /
                           static_cast<long double>(powers_of_five[q - 27]);
    double candidate = static_cast<double>(quotient) * power_of_two(-q);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &candidate, sizeof bits);
    for (int step = 0; step < max_steps; ++step) {
        std::uint64_t c = (bits & (hidden_bit - 1)) | hidden_bit;
        int e = static_cast<int>(bits >> 52) - 1075;
        int shift_up = 1 - q - e;
        int above = compare_wide(shifted_wide(m, shift_up), times_wide(2 * c + 1, five));
        int below = c > hidden_bit ? compare_wide(shifted_wide(m, shift_up), times_wide(2 * c - 1, five))
                                   : compare_wide(shifted_wide(m, shift_up + 1), times_wide(4 * c - 1, five));
        if (above > 0 || (above == 0 && (c & 1) != 0)) {
            ++bits;
        } else if (below < 0 || (below == 0 && (c & 1) != 0)) {
            --bits;
        } else {
            std::memcpy(value, &bits, sizeof bits);
            return 1;
        }
    }
    return 0;
}

// m * 10^e correctly rounded for m < 2^64, or 0 when outside what the
// integer paths cover (the caller then uses strtod).
int scale_decimal(std::uint64_t m, int e, double *value)
{
    if (m < max_exact_mantissa && e >= -max_exact_power_of_ten && e <= max_exact_power_of_ten) {
        double dm = static_cast<double>(m);
        *value = e >= 0 ? dm * powers_of_ten[e] : dm / powers_of_ten[-e];
        return 1;
    }
    if (e >= 0 && e <= max_wide_power_of_five) {
        // m * 5^e * 2^e: the product is exact in 128 bits.
        uint128 five = powers_of_five[e];
        *value = round_to_double(static_cast<uint128>(m) * five, 0, e);
        return 1;
    }
#if defined(__x86_64__) && __LDBL_MANT_DIG__ == 64
    if (e < 0 && -e <= max_wide_power_of_five && divide_extended(m, -e, value)) {
        return 1;
    }
#endif
    if (e < 0 && -e <= max_wide_power_of_five) {
        // m / (5^q 2^q): divide m shifted left far enough that the quotient
        // carries at least 55 bits, and keep the remainder as a sticky bit.
        int q = -e;
        uint128 five = powers_of_five[q];
        int shift = 127 - bit_length(static_cast<uint128>(m));
        uint128 numerator = static_cast<uint128>(m) << shift;
        uint128 quotient = numerator / five;
        uint128 remainder = numerator - quotient * five;
        *value = round_to_double(quotient, remainder != 0, -shift - q);
        return 1;
    }
    if (e < 0 && -e <= max_verified_power_of_five) {
        return divide_verified(m, -e, value);
    }
    return 0;
}

int scale_wide_decimal(std::uint64_t m, int scale, double *value)
{
    while (m % 10 == 0) {
        m /= 10;
        ++scale;
    }
    return scale_decimal(m, scale, value);
}

static int fallback_strtod(const char *field, std::size_t width, double *value)
{
    if (width > max_fallback_field) {
        return 0;
    }
    char text[max_fallback_field + 1];
    std::size_t length = 0;
    for (std::size_t i = 0; i < width; ++i) {
        char c = field[i];
        if (c == 'D' || c == 'd') {
            c = 'E';
        }
        text[length++] = c;
    }
    text[length] = '\0';
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(text, &end);
    if (end == text) {
        return 0;
    }
    *value = v;
    return 1;
}

int field_is_blank(const char *field, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i) {
        if (!is_blank(field[i])) {
            return 0;
        }
    }
    return 1;
}

// The two shapes of nearly every number of the database, read after the
// leading blanks and the sign (p[0 .. width)): 1 with the value, 0 when
// the field has another shape (the general reader then decides).

// d.ddddddddd followed by D or E, a sign and two digits, then blanks: the
// coefficients.
static int parse_database_shape(const char *p, std::size_t width, int negative, double *value)
{
    static const std::size_t shape_width = 15; // d, ., 9 digits, D, sign, 2 digits
    for (std::size_t k = shape_width; k < width; ++k) {
        if (!is_blank(p[k])) {
            return 0;
        }
    }
    return parse_database_digits(p, negative, value);
}

// digits[.digits], then blanks: at most 15 digits with at most 22 after
// the point (the temperatures, weights, atom counts and integers). One
// division by an exact power of ten rounds correctly.
static int parse_plain_decimal(const char *p, std::size_t width, int negative, double *value)
{
    static const std::size_t max_plain_digits = 15; // 10^15 < 2^53
    std::uint64_t mantissa = 0;
    std::size_t i = 0;
    for (; i < width; ++i) {
        unsigned d = static_cast<unsigned>(static_cast<unsigned char>(p[i])) - '0';
        if (d > 9) {
            break;
        }
        mantissa = mantissa * 10 + d;
    }
    std::size_t digits = i;
    std::size_t decimals = 0;
    if (i < width && p[i] == '.') {
        std::size_t first_decimal = ++i;
        for (; i < width; ++i) {
            unsigned d = static_cast<unsigned>(static_cast<unsigned char>(p[i])) - '0';
            if (d > 9) {
                break;
            }
            mantissa = mantissa * 10 + d;
        }
        decimals = i - first_decimal;
        digits += decimals;
    }
    if (digits == 0 || digits > max_plain_digits || decimals > static_cast<std::size_t>(max_exact_power_of_ten)) {
        return 0;
    }
    for (; i < width; ++i) {
        if (p[i] != ' ') {
            return 0; // an exponent, another blank, anything else
        }
    }
    double result = static_cast<double>(mantissa);
    if (decimals > 0) {
        result /= powers_of_ten[decimals];
    }
    *value = negative ? -result : result;
    return 1;
}

// Any other shape: digit by digit, with exact conversion or strtod. Kept
// out of line so that the common shapes above run without its setup.
__attribute__((noinline)) static int parse_any_number(const char *field, std::size_t width, double *value)
{
    std::size_t i = 0;
    while (i < width && is_blank(field[i])) {
        ++i;
    }
    std::size_t start = i;
    int negative = 0;
    if (i < width && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    std::uint64_t mantissa = 0;
    int significant = 0;
    int dropped_digits = 0; // significant digits beyond what the integer holds
    int decimal_shift = 0;  // digits after the point that entered the mantissa
    int digits = 0;
    int seen_point = 0;
    for (; i < width; ++i) {
        char c = field[i];
        if (is_digit(c)) {
            ++digits;
            if (mantissa == 0 && c == '0') {
                if (seen_point) {
                    ++decimal_shift;
                }
                continue;
            }
            if (significant < max_significant_digits) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
                ++significant;
                if (seen_point) {
                    ++decimal_shift;
                }
            } else {
                ++dropped_digits;
                if (!seen_point) {
                    --decimal_shift;
                }
            }
        } else if (c == '.' && !seen_point) {
            seen_point = 1;
        } else {
            break;
        }
    }
    if (digits == 0) {
        return 0;
    }
    int exponent = 0;
    if (i < width && (field[i] == 'E' || field[i] == 'e' || field[i] == 'D' || field[i] == 'd')) {
        ++i;
        int exponent_negative = 0;
        if (i < width && (field[i] == '+' || field[i] == '-')) {
            exponent_negative = field[i] == '-';
            ++i;
        }
        int exponent_digits = 0;
        for (; i < width && is_digit(field[i]); ++i) {
            if (exponent < 100000) {
                exponent = exponent * 10 + (field[i] - '0');
            }
            ++exponent_digits;
        }
        if (exponent_digits == 0) {
            return 0;
        }
        if (exponent_negative) {
            exponent = -exponent;
        }
    }
    std::size_t end = i;
    while (i < width && is_blank(field[i])) {
        ++i;
    }
    if (i != width) {
        return 0;
    }
    double result = 0.0;
    if (mantissa == 0) {
        result = 0.0;
    } else {
        int scale = exponent - decimal_shift;
        if (dropped_digits == 0 &&
            !(mantissa < max_exact_mantissa && scale >= -max_exact_power_of_ten && scale <= max_exact_power_of_ten)) {
            // Trailing zeros moved into the exponent may bring the value
            // back to the one-operation shape (the divisions cost, so only
            // here).
            while (mantissa % 10 == 0) {
                mantissa /= 10;
                ++scale;
            }
        }
        if (dropped_digits != 0 || !scale_decimal(mantissa, scale, &result)) {
            if (!fallback_strtod(field + start, end - start, &result)) {
                return 0;
            }
            negative = 0; // strtod read the sign itself
        }
    }
    if (negative) {
        result = -result;
    }
    if (!std::isfinite(result)) {
        return 0;
    }
    *value = result;
    return 1;
}

int parse_fixed_number(const char *field, std::size_t width, double *value)
{
    std::size_t i = 0;
    while (i < width && field[i] == ' ') {
        ++i;
    }
    int negative = 0;
    if (i < width && (field[i] == '-' || field[i] == '+')) {
        negative = field[i] == '-';
        ++i;
    }
    const char *p = field + i;
    std::size_t rest = width - i;
    int done = 0;
    if (rest >= 15 && p[1] == '.' && (p[11] == 'D' || p[11] == 'E')) {
        done = parse_database_shape(p, rest, negative, value);
    } else {
        done = parse_plain_decimal(p, rest, negative, value);
    }
    return done || parse_any_number(field, width, value);
}

} // namespace cea_impl
