// The quick check of product records. A database is checked whole when it
// is opened, and most of its bytes are the product gases and condensed
// intervals: this pass tests each of their numbers by its exponent bits,
// merged with OR instead of a branch each, and its name and formula bytes
// by their ranges, and builds nothing. Whatever does not pass (a malformed
// record, or an unusual but valid one, such as a repeated element symbol)
// is left to the full reader, which then decides and names the fault.
#include "thermo_compiled_scan.h"

#include <cstdint>
#include <cstring>

#include "thermo_compiled_format.h"

namespace cea_impl {

static const std::uint64_t exponent_bits = 0x7ff0000000000000u;
// From the lower temperature on, a record is f64 to its end: the two
// temperatures, the molecular weight and the coefficient sets.
static const int gas_numbers_from_t_low = static_cast<int>((compiled_gas_bytes - compiled_t_low_at) / 8);
static const int condensed_numbers_from_t_low = static_cast<int>((compiled_condensed_bytes - compiled_t_low_at) / 8);
static_assert(compiled_t_low_at + std::size_t{8} * gas_numbers_from_t_low == compiled_gas_bytes &&
                  compiled_t_low_at + std::size_t{8} * condensed_numbers_from_t_low == compiled_condensed_bytes &&
                  compiled_molecular_weight_at == compiled_t_low_at + 16 && compiled_tail_at == compiled_t_low_at + 24,
              "the numbers of a record lie one after another from its lower temperature on");

static std::uint64_t word_at(const unsigned char *p)
{
    std::uint64_t u = 0;
    std::memcpy(&u, p, sizeof u);
    return u;
}

// Bit 63 set when one of the `count` f64 at p is an infinity or a NaN:
// for those, and only those, the inverted exponent bits are all zero, and
// less one they borrow into the sign bit. One pass of and-not, subtract
// and OR, with no branch.
static std::uint64_t non_finite_bits(const unsigned char *p, int count)
{
    std::uint64_t bad = 0;
    for (int i = 0; i < count; ++i) {
        bad |= (~word_at(p + 8 * static_cast<std::ptrdiff_t>(i)) & exponent_bits) - 1;
    }
    return bad >> 63;
}

// Nonzero when one of the eight bytes of x is below 0x20 or above 0x7e
// (each test exact for bytes, as no byte's borrow or carry crosses into
// the next one's high bit where it counts).
static std::uint64_t unprintable_bytes(std::uint64_t x)
{
    static const std::uint64_t ones = 0x0101010101010101u;
    static const std::uint64_t highs = 0x8080808080808080u;
    std::uint64_t below = (x - ones * 0x20) & ~x & highs;
    std::uint64_t above = ((x + ones * (127 - 0x7e)) | x) & highs;
    return below | above;
}

static unsigned is_letter(unsigned char c)
{
    return static_cast<unsigned>(static_cast<unsigned char>((c | 0x20) - 'a') < 26);
}

// The record at `at` frames a payload of `size` bytes within the file.
static int framed(const unsigned char *bytes, std::size_t length, std::size_t at, std::size_t size)
{
    return length - at >= size + 2 * compiled_marker_bytes && load_i32(bytes + at) == static_cast<std::int32_t>(size) &&
           load_i32(bytes + at + compiled_marker_bytes + size) == static_cast<std::int32_t>(size);
}

// The part every species record begins with, of the usual shape: a
// printable name (less a gas's mark, which it has exactly when its phase
// is -1), formula pairs of one or two letters with finite counts and no
// symbol twice, and a molecular weight above zero (that it is finite, the
// caller checks with the other numbers of the record).
static inline int scan_common(const unsigned char *p, int gas, element_bits *bits, compiled_species *entry)
{
    // Bytes 0-14 in two words that overlap by one.
    std::uint64_t bad = unprintable_bytes(word_at(p)) | unprintable_bytes(word_at(p + compiled_name_bytes - 8));
    unsigned from = gas && p[0] == compiled_full_range_mark ? 1 : 0;
    if (gas) {
        bad |= static_cast<std::uint64_t>((load_i32(p + compiled_phase_at) == -1) != (from == 1));
    }
    std::size_t n = 0;
    while (from + n < compiled_name_bytes && p[from + n] != ' ') {
        ++n;
    }
    bad |= static_cast<std::uint64_t>(n == 0);
    std::uint64_t non_finite = 0;
    std::uint64_t mask = 0;
    for (int pair = 0; pair < formula_pair_count; ++pair) {
        const unsigned char *at = p + compiled_pairs_at + compiled_pair_bytes * static_cast<std::size_t>(pair);
        std::uint64_t amount = word_at(at + 2);
        non_finite |= (~amount & exponent_bits) - 1;
        if ((amount << 1) == 0) {
            continue; // +0 or -0: an unused pair
        }
        unsigned second = at[1] == ' ' ? 0u : at[1];
        if (!is_letter(at[0]) || (second != 0 && !is_letter(at[1]))) {
            return 0;
        }
        // A symbol twice, or one past the mask's bits, is for the full reader.
        unsigned b = element_bit_of(bits, compiled_element_key(at[0] | second << 8));
        std::uint64_t bit = b != 0 ? std::uint64_t{1} << (b - 1) : 0;
        if ((mask & bit) != 0 || bit == 0) {
            return 0;
        }
        mask |= bit;
    }
    bad |= static_cast<std::uint64_t>(mask == 0);
    bad |= static_cast<std::uint64_t>(!(load_f64(p + compiled_molecular_weight_at) > 0.0));
    bad |= non_finite >> 63;
    entry->element_mask = mask;
    entry->mask_complete = 1;
    entry->name_from = from & 1u;
    entry->name_length = static_cast<std::uint32_t>(n) & 15u;
    entry->product = 1;
    entry->quick = 1;
    return bad == 0;
}

static int scan_gas(const unsigned char *bytes, std::size_t length, std::size_t at, element_bits *bits,
                    compiled_species *entry, scanned_species *found)
{
    if (!framed(bytes, length, at, compiled_gas_bytes)) {
        return 0;
    }
    const unsigned char *p = bytes + at + compiled_marker_bytes;
    int phase = load_i32(p + compiled_phase_at);
    int count = load_i32(p + compiled_interval_count_at);
    if (!scan_common(p, 1, bits, entry) || (phase != 0 && phase != -1) || count < 1 || count > compiled_gas_sets ||
        non_finite_bits(p + compiled_t_low_at, gas_numbers_from_t_low) != 0) {
        return 0;
    }
    found->next = at + compiled_gas_bytes + 2 * compiled_marker_bytes;
    found->records = 1;
    found->interval_count = count;
    return 1;
}

// A condensed species: its first record and the records of its other
// intervals, which repeat its name, formula, interval count and weight,
// each beginning where the one before ends.
static int scan_condensed(const unsigned char *bytes, std::size_t length, std::size_t at, int remaining,
                          element_bits *bits, compiled_species *entry, scanned_species *found)
{
    static const std::size_t record_bytes = compiled_condensed_bytes + 2 * compiled_marker_bytes;
    if (!framed(bytes, length, at, compiled_condensed_bytes)) {
        return 0;
    }
    const unsigned char *first = bytes + at + compiled_marker_bytes;
    int count = load_i32(first + compiled_interval_count_at);
    if (!scan_common(first, 0, bits, entry) || count < 1 || count > max_interval_count || count > remaining) {
        return 0;
    }
    double previous_high = 0.0;
    for (int i = 0; i < count; ++i) {
        std::size_t record = at + static_cast<std::size_t>(i) * record_bytes;
        if (i > 0 && !framed(bytes, length, record, compiled_condensed_bytes)) {
            return 0;
        }
        const unsigned char *p = bytes + record + compiled_marker_bytes;
        if (i > 0 && (std::memcmp(p, first, compiled_phase_at) != 0 ||
                      std::memcmp(p + compiled_molecular_weight_at, first + compiled_molecular_weight_at, 8) != 0)) {
            return 0;
        }
        double low = load_f64(p + compiled_t_low_at);
        double high = load_f64(p + compiled_t_high_at);
        if (non_finite_bits(p + compiled_t_low_at, condensed_numbers_from_t_low) != 0 ||
            load_i32(p + compiled_phase_at) < 1 || !(low > 0.0) || !(high > low) || low < previous_high) {
            return 0;
        }
        previous_high = high;
    }
    found->next = at + static_cast<std::size_t>(count) * record_bytes;
    found->records = count;
    found->interval_count = count;
    return 1;
}

int scan_product_species(const unsigned char *bytes, std::size_t length, std::size_t at, int gas, int remaining,
                         element_bits *bits, compiled_species *entry, scanned_species *found)
{
    if (!compiled_host_order || at > length) {
        return 0;
    }
    return gas ? scan_gas(bytes, length, at, bits, entry, found)
               : scan_condensed(bytes, length, at, remaining, bits, entry, found);
}

} // namespace cea_impl
