// The quick check of a compiled database's product records: one tight pass
// over a species' bytes (framing, counts, names, finite numbers by their
// exponent bits, ordered intervals) that enters it in the directory
// without building its record. It accepts only what the full reader
// accepts, and only records of the usual shape; for anything else it
// answers 0 and the full reader reads the species, and says what is wrong.
#ifndef CEA_THERMO_COMPILED_SCAN_H
#define CEA_THERMO_COMPILED_SCAN_H

#include <cstddef>

#include "thermo_database.h"

namespace cea_impl {

// What the scan of one species found.
struct scanned_species {
    std::size_t next;   // file offset past its last record
    int records;        // the records it took
    int interval_count; // of the record the full reader would build
};

// The bits of the element symbols met so far (compiled_element_key to the
// bit plus one) and how many are given.
struct element_bits {
    unsigned char *of;
    int given;
};

// The bit plus one of the symbol with this key, given now if it has none
// and one is left; 0 when none is left.
inline unsigned element_bit_of(element_bits *bits, unsigned key)
{
    unsigned b = bits->of[key];
    if (b == 0 && bits->given < 64) {
        b = static_cast<unsigned>(++bits->given);
        bits->of[key] = static_cast<unsigned char>(b);
    }
    return b;
}

// Scans the product species whose first record is at `at` of the file
// (a gas when `gas`, else a condensed species with at most `remaining`
// records), and fills *entry (all but its offset and record number),
// giving its element symbols bits in *bits when they have none.
// 1 when it is of the usual shape and sound, 0 otherwise.
int scan_product_species(const unsigned char *bytes, std::size_t length, std::size_t at, int gas, int remaining,
                         element_bits *bits, compiled_species *entry, scanned_species *found);

} // namespace cea_impl

#endif
