// The thermodynamic database in memory, and its readers: of the NASA Glenn
// text format (thermo.inp: a "thermo" line, the common temperature bounds, the
// product records up to END PRODUCTS, the reactant-only records up to
// END REACTANTS) and of its compiled form (thermo.lib, which thermo-compile
// writes from the text).
//
// The whole database lives in one arena, records in file order, so that
// loading touches as few fresh memory pages as the data needs: each species
// record is followed by its temperature intervals, its formula and its
// name. The table of record offsets and the open-addressing index of names
// come before the first record (in the space the reader used for its
// chunk) or after the last.
#ifndef CEA_THERMO_DATABASE_H
#define CEA_THERMO_DATABASE_H

#include <cstddef>
#include <cstdint>

#include "library_status.h"

namespace cea_impl {

static const int species_name_capacity = 24;
static const int formula_pair_count = 5;
static const int max_interval_count = 9;
static const int fit_coefficient_count = 7;
static const int fit_integration_constant_count = 2;
static const int element_symbol_size = 3; // two letters and a terminator

// One temperature interval of a 9-coefficient fit:
//   cp/R = a1 T^-2 + a2 T^-1 + a3 + a4 T + a5 T^2 + a6 T^3 + a7 T^4,
// with b1 and b2 the integration constants of H/RT and S/R.
struct thermo_interval {
    double t_low_k;
    double t_high_k;
    double a[fit_coefficient_count];
    double b[fit_integration_constant_count];
};

// The fixed part of a species record. In the arena it is followed by
// thermo_interval[interval_count], double amounts[element_count],
// char symbols[element_count][element_symbol_size] and the terminated name;
// read them through the functions below.
struct species_record {
    double molecular_weight_kg_kmol;
    // The heat of formation at 298.15 K for a fitted record of the text
    // (0 from the compiled form, which does not hold it), the assigned
    // enthalpy (at assigned_temperature_k) for a record without fits; J/mol.
    double enthalpy_j_mol;
    double assigned_temperature_k; // records without fits only
    int line_number;               // of the name line (of the record, compiled), for messages
    unsigned char interval_count;  // 0 for an assigned enthalpy
    unsigned char element_count;   // formula pairs with a nonzero amount
    unsigned char condensed;       // 0 for a gas
    unsigned char product;         // 1 for the products part
};

struct thermo_database {
    char *arena; // mapped memory, released by release_thermo_database
    std::size_t arena_capacity;
    std::size_t arena_used;
    std::size_t records_at; // arena offset of the first record
    int species_count;
    int interval_count;     // over every record
    std::size_t offsets_at; // arena offset of unsigned record_offset[species_count]
    std::size_t index_at;   // arena offset of unsigned slots[index_mask + 1] (std::uint16_t when narrow_index)
    unsigned index_mask;
    int narrow_index; // a compiled database of fewer species than an std::uint16_t tells
    // Arena offset past the last block lent for an object: lending changes
    // nothing of the data, so a database read through const lends too. Once
    // the database is shared it is read and moved only atomically (the
    // lending functions), which leaves the record plain and copyable.
    mutable std::size_t objects_end;
    // A compiled database keeps its file mapped, and a directory of its
    // species in the arena; a record is built from the file, once, when it
    // is first asked for, into memory of its own (records).
    const unsigned char *file; // null for a text database
    std::size_t file_length;
    std::size_t gases_end;       // file offset of the first condensed record
    std::size_t products_end;    // of the first reactant entry
    double common_bounds_k[4];   // of the gas intervals
    std::size_t directory_at;    // arena offset of the species directory
    std::size_t built_at;        // arena offset of std::uint32_t built[species_count] (compiled_built_at)
    std::size_t element_bits_at; // arena offset of the element symbols' bits (compiled_element_key)
    mutable char *records;       // the records built so far
    mutable std::size_t records_capacity;
    mutable std::size_t records_used;
    mutable int building; // held while a record is built
};

// An empty database that owns nothing (release is then a no-op).
void init_thermo_database(thermo_database *database);

// Frees what the database owns and leaves it empty.
void release_thermo_database(thermo_database *database);

// Parses a whole database held in memory (LF or CRLF line ends) into
// *database, which is overwritten (release what it held first). On failure
// returns CEA_MALFORMED_DATABASE (or CEA_OUT_OF_MEMORY) with a text that
// names the line, and leaves *database empty. `source` names the text in
// messages.
int parse_thermo_text(const char *text, std::size_t length, const char *source, thermo_database *database,
                      failure *error);

// Reads the file at path, in whichever form its first bytes say:
// CEA_INVALID_FILENAME when it cannot be opened or read, otherwise as
// parse_thermo_compiled or parse_thermo_text (a text is streamed through a
// small reused buffer, with the same results and messages as in memory).
int load_thermo_file(const char *path, thermo_database *database, failure *error);

// 1 when the bytes begin as a compiled database does (with the length
// marker of its header record); a text never does.
int is_compiled_thermo(const unsigned char *bytes, std::size_t length);

// Reads a compiled database held in memory into *database, which is
// overwritten. On failure returns CEA_MALFORMED_DATABASE (or
// CEA_OUT_OF_MEMORY) with a text that names the record and its byte offset,
// and leaves *database empty. The records are as the text reader makes
// them from the text the file was compiled from, except what the compiled
// form does not hold: a gas's intervals (as many as the text had) lie
// between the common bounds, fitted records have no heat of formation, and
// names have at most 15 characters.
int parse_thermo_compiled(const unsigned char *bytes, std::size_t length, const char *source, thermo_database *database,
                          failure *error);

// The same from the first `length` bytes of an open descriptor, read into
// the database's own arena (not closed).
int load_compiled_descriptor(int fd, std::size_t length, const char *source, thermo_database *database, failure *error);

// The same from an open descriptor (read to its end, not closed), through
// a chunk of chunk_bytes (more than 128), with an arena of first_arena_bytes
// to start with (0: what the size of a regular file bounds, or a guess).
// The reader's tests and fuzzing use small chunks to put line ends on every
// chunk boundary, and small arenas to make them grow.
int load_thermo_descriptor(int fd, const char *source, std::size_t chunk_bytes, std::size_t first_arena_bytes,
                           thermo_database *database, failure *error);

// Zeroed memory for an object made from this database (a solver's arrays),
// lent from the arena's unused part when it has room on the pages that are
// already there (with huge pages, the one that holds the records): a fresh
// process then pays no page faults for it. Blocks are given back in the
// reverse order of lending, as objects are usually destroyed; a block given
// back out of that order stays lent until the database is released. Falls
// back to the heap; null only when that fails too. Safe to call from several
// threads on one database.
void *lend_object_memory(const thermo_database *database, std::size_t bytes);

// Gives back a block of lend_object_memory (null does nothing).
void return_object_memory(const thermo_database *database, void *block, std::size_t bytes);

// Index of the first species of that exact name, or -1.
int find_species(const thermo_database *database, const char *name);

// The record of species `index`. Safe to call from several threads at once
// (a compiled database's record is built on first use, under a lock).
const species_record *database_species(const thermo_database *database, int index);

// An element symbol as a number, for cheap comparison.
inline unsigned element_symbol_code(const char *symbol)
{
    return static_cast<unsigned>(static_cast<unsigned char>(symbol[0])) |
           static_cast<unsigned>(static_cast<unsigned char>(symbol[0] != '\0' ? symbol[1] : '\0')) << 8;
}

// A species of a compiled database, as its directory holds it: where its
// first record is in the file (and its number there, for messages), what
// choosing the products needs of it, and where its name stands. Its
// elements are bits of a mask, one bit for each element symbol of the file
// in the order first met (compiled_element_bit); a species with a symbol
// past the mask's 64 is marked incomplete, and its elements are then read
// from its record.
// 16 bytes, so that the directory of the shipped database lies on 9 pages.
struct compiled_species {
    std::uint64_t element_mask;
    std::uint32_t offset;
    std::uint32_t record_number : 24; // a file of at most 2^30 bytes holds fewer records
    std::uint32_t name_length : 4;
    std::uint32_t name_from : 1; // 1 past a gas's mark
    std::uint32_t product : 1;
    std::uint32_t mask_complete : 1;
    std::uint32_t quick : 1; // passed the quick check: a product record of the usual shape
};

inline const compiled_species *compiled_directory(const thermo_database *db)
{
    return reinterpret_cast<const compiled_species *>(db->arena + db->directory_at);
}

// The compiled database's table from element symbols to their bits: a byte
// for each pair of letters (the low six bits of each tell letters and case
// apart, and a blank second letter is 0), holding the bit plus one, 0 for a
// symbol no species has.
static const std::size_t compiled_element_keys = 4096;
inline unsigned compiled_element_key(unsigned code) { return (code & 0x3f) | (code >> 8 & 0x3f) << 6; }

// The bit of element symbol `code` in the masks of a compiled database, or
// -1 when no species of it has that element.
inline int compiled_element_bit(const thermo_database *db, unsigned code)
{
    const unsigned char *bits = reinterpret_cast<const unsigned char *>(db->arena + db->element_bits_at);
    return static_cast<int>(bits[compiled_element_key(code)]) - 1;
}

// What choosing the products needs of every species, without building its
// record: 1 when it belongs to the products part, and the codes of its
// element symbols (*count of them).
int record_elements(const thermo_database *database, int index, unsigned codes[formula_pair_count], int *count);

inline const thermo_interval *record_intervals(const species_record *record)
{
    return reinterpret_cast<const thermo_interval *>(record + 1);
}

inline const double *record_element_amounts(const species_record *record)
{
    return reinterpret_cast<const double *>(record_intervals(record) + record->interval_count);
}

// Symbol of formula pair e, terminated ("C", "H", "E", "CL").
inline const char *record_element_symbol(const species_record *record, int e)
{
    return reinterpret_cast<const char *>(record_element_amounts(record) + record->element_count) +
           static_cast<std::ptrdiff_t>(e) * element_symbol_size;
}

inline const char *record_name(const species_record *record)
{
    return record_element_symbol(record, record->element_count);
}

} // namespace cea_impl

#endif
