// The compiled form of the thermodynamic database (thermo.lib): the records
// of the text in the framing of sequential unformatted Fortran files,
// [i32 n][n bytes][i32 n], little-endian and unaligned. The first record is
// a header with the common temperature bounds and three counts; then come
// the gases of the products part (three coefficient sets each, by position
// over the common bounds), its condensed records (one per temperature
// interval), and the reactant entries, each followed by a record of fits
// when it has temperature intervals.
#ifndef CEA_THERMO_COMPILED_FORMAT_H
#define CEA_THERMO_COMPILED_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cea_impl {

static const std::size_t compiled_marker_bytes = 4;
// Payload sizes, one for each kind of record.
static const std::size_t compiled_header_bytes = 54;
static const std::size_t compiled_gas_bytes = 319;
static const std::size_t compiled_condensed_bytes = 175;
static const std::size_t compiled_reactant_bytes = 111;
static const std::size_t compiled_fits_bytes = 216;

// The header: four common temperature bounds (K), the counts of product
// gases, of product records (gases and condensed intervals) and of all
// records but the fits, and the date of the bounds line.
static const std::size_t compiled_bounds_at = 0;
static const int compiled_bound_count = 4;
static const std::size_t compiled_gas_count_at = 32;
static const std::size_t compiled_product_count_at = 36;
static const std::size_t compiled_record_count_at = 40;
static const std::size_t compiled_header_date_at = 44;
static const std::size_t compiled_header_date_bytes = 10;

// The part every species record begins with.
static const std::size_t compiled_name_at = 0;
static const std::size_t compiled_name_bytes = 15;
static const std::size_t compiled_interval_count_at = 15;
static const std::size_t compiled_date_at = 19;
static const std::size_t compiled_date_bytes = 6;
static const std::size_t compiled_pairs_at = 25;
static const std::size_t compiled_pair_bytes = 10; // two symbol letters and an f64 count
static const std::size_t compiled_phase_at = 75;
static const std::size_t compiled_t_low_at = 79;
static const std::size_t compiled_t_high_at = 87;
static const std::size_t compiled_molecular_weight_at = 95;
static const std::size_t compiled_tail_at = 103; // coefficient sets, or a reactant entry's value

// A coefficient set: a1..a7, b1, b2.
static const int compiled_set_doubles = 9;
static const std::size_t compiled_set_bytes = 72;
static const int compiled_gas_sets = 3;

// A gas's name carries this mark in front when its data reach the last
// common bound.
static const char compiled_full_range_mark = '*';

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
static const int compiled_host_order = 1; // the host stores numbers as the file does
#else
static const int compiled_host_order = 0;
#endif

inline std::int32_t load_i32(const unsigned char *p)
{
    if (compiled_host_order) {
        std::int32_t v = 0;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    std::uint32_t u = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                      static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    std::int32_t v = 0;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

inline double load_f64(const unsigned char *p)
{
    if (compiled_host_order) {
        double v = 0.0;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    std::uint64_t u = 0;
    for (int i = 7; i >= 0; --i) {
        u = u << 8 | p[i];
    }
    double v = 0.0;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

inline void store_i32(unsigned char *p, std::int32_t v)
{
    std::uint32_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(u >> (8 * i));
    }
}

inline void store_f64(unsigned char *p, double v)
{
    std::uint64_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<unsigned char>(u >> (8 * i));
    }
}

} // namespace cea_impl

#endif
