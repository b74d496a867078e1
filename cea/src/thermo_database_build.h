// What the readers of both database forms use to fill a database: room in
// its arena, the formula of a record as it is read, the appending of a
// finished record, and the name index over all of them.
#ifndef CEA_THERMO_DATABASE_BUILD_H
#define CEA_THERMO_DATABASE_BUILD_H

#include <cstddef>
#include <cstdint>

#include "thermo_database.h"

namespace cea_impl {

static const std::size_t arena_alignment = 8;

// Room for the largest record: its fixed part, nine intervals, five formula
// pairs, a name and the alignment.
static const std::size_t max_record_bytes = sizeof(species_record) + max_interval_count * sizeof(thermo_interval) +
                                            formula_pair_count * (sizeof(double) + element_symbol_size) +
                                            species_name_capacity + 1 + arena_alignment;

inline std::size_t align_up(std::size_t n) { return (n + arena_alignment - 1) / arena_alignment * arena_alignment; }

// Makes room for `more` bytes after the used part, moving the arena to a
// larger mapping when it is full. 0 when no memory is left.
int reserve_arena(thermo_database *db, std::size_t more);

// Under AddressSanitizer the part of the arena not yet handed out stays
// poisoned, so that fuzzing catches a write past what a reader reserved.
void poison_unused(const thermo_database *db);

// Bytes that a record takes in the arena, aligned.
std::size_t record_bytes(const species_record *record);

// The formula of a record while it is read.
struct formula {
    int count;
    char symbols[formula_pair_count][element_symbol_size];
    double amounts[formula_pair_count];
};

// Adds one formula pair as written (symbol columns, atom count): a pair of
// zero amount is unused whatever its symbol holds; blanks in the symbol are
// dropped and a repeated symbol adds to the first. 0 when the symbol is not
// one or two letters.
int add_formula_pair(formula *f, const char *symbol, std::size_t symbol_width, double amount);

// Writes the tail of a record (formula and name behind its intervals);
// returns the bytes the whole record takes, aligned.
std::size_t finish_record(species_record *record, const formula *f, const char *name, std::size_t name_length);

// Appends the record at the end of the arena's used part (room for
// max_record_bytes reserved, *record filled, its intervals written after
// it): copies the formula and the name behind the intervals and counts it.
void commit_record(thermo_database *db, species_record *record, const formula *f, const char *name,
                   std::size_t name_length);

// The table of record offsets and the name index, once every record is in.
// 0 when no memory is left.
int build_index(thermo_database *db);

// The slots of the name index for this many species (at most half full).
unsigned name_index_slots(int species_count);

// Makes the pages of [at, at + bytes) of a private anonymous mapping
// present and writable in one call, where the system can: cheaper than
// taking a page fault on each as it is first written. Changes no byte.
void prefault_pages(void *at, std::size_t bytes);

// The table of built records of a compiled database holds, for each
// species, 0 until its record is built, then its offset in the records
// plus one, or compiled_inert_at for a record that could not be built.
static const std::uint32_t compiled_inert_at = 0xffffffffu;

// The compiled database's side of database_species: the record of a
// species not built yet, built now (or the record that stands for one that
// cannot be).
const species_record *build_compiled_species(const thermo_database *db, int index);

// The name index of a compiled database, over the names in its file, built
// as the species are read: an empty one at arena offset `at` (room for
// compiled_index_bytes(species_bound) made), then each species entered
// once its directory entry is filled (the first of a name wins).
void begin_compiled_index(thermo_database *db, std::size_t at, int species_bound);
// The bytes of the index for at most species_bound species.
std::size_t compiled_index_bytes(int species_bound);
void index_compiled_species(thermo_database *db, int species);

} // namespace cea_impl

#endif
