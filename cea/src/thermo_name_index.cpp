// The name index of a database: an open-addressing table of record
// numbers (at most half full, the first record of a name wins), with the
// table of record offsets before it, in the scratch space before the
// records when they fit there, else after the last record.
#include "thermo_database.h"

#include <cstdint>
#include <cstring>

#include "thermo_database_build.h"

namespace cea_impl {

static const unsigned empty_slot = 0xffffffffu;
static const unsigned min_index_slots = 16;

// FNV-1a: short names, a few thousand of them.
static unsigned name_hash(const char *name)
{
    unsigned h = 2166136261u;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p != 0; ++p) {
        h = (h ^ *p) * 16777619u;
    }
    return h;
}

// A compiled database's names have at most 15 bytes, none of them zero
// (they are printable): a name is then told by its bytes in two words,
// zero past its end, and hashed by two multiplications instead of a step
// per byte. A name in the file is followed by more of its record, so its
// 16 bytes can be loaded whole.
static const std::size_t compiled_name_max = 15;
struct name_words {
    std::uint64_t low;
    std::uint64_t high;
};

static std::uint64_t bytes_below(std::size_t n)
{
    return n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
}

static name_words words_of(const unsigned char *sixteen, std::size_t length)
{
    name_words w = {0, 0};
    std::memcpy(&w.low, sixteen, sizeof w.low);
    std::memcpy(&w.high, sixteen + 8, sizeof w.high);
    w.low &= bytes_below(length);
    w.high &= length > 8 ? bytes_below(length - 8) : 0;
    return w;
}

static unsigned words_hash(name_words w)
{
    std::uint64_t h = (w.low * 0x9e3779b97f4a7c15u) ^ (w.high * 0xc2b2ae3d27d4eb4fu);
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9u;
    return static_cast<unsigned>(h >> 32);
}

static name_words compiled_words(const thermo_database *db, int index)
{
    const compiled_species *s = &compiled_directory(db)[index];
    return words_of(db->file + s->offset + 4 + s->name_from, s->name_length); // past the length marker
}

static int same_words(name_words a, name_words b) { return a.low == b.low && a.high == b.high; }

unsigned name_index_slots(int species_count)
{
    unsigned slots = min_index_slots;
    while (slots < 2u * static_cast<unsigned>(species_count)) {
        slots *= 2;
    }
    return slots;
}

int build_index(thermo_database *db)
{
    unsigned slots = name_index_slots(db->species_count);
    std::size_t offsets_bytes = align_up(static_cast<std::size_t>(db->species_count) * sizeof(unsigned));
    std::size_t index_bytes = slots * sizeof(unsigned);
    if (offsets_bytes + index_bytes <= db->records_at) {
        db->offsets_at = 0;
    } else {
        if (!reserve_arena(db, offsets_bytes + index_bytes)) {
            return 0;
        }
        db->offsets_at = db->arena_used;
        db->arena_used += offsets_bytes + index_bytes;
    }
    db->index_at = db->offsets_at + offsets_bytes;
    db->index_mask = slots - 1;
    unsigned *offsets = reinterpret_cast<unsigned *>(db->arena + db->offsets_at);
    unsigned *index = reinterpret_cast<unsigned *>(db->arena + db->index_at);
    std::memset(index, 0xff, slots * sizeof(unsigned));
    std::size_t at = db->records_at;
    for (int i = 0; i < db->species_count; ++i) {
        offsets[i] = static_cast<unsigned>(at);
        const species_record *record = reinterpret_cast<const species_record *>(db->arena + at);
        at += record_bytes(record);
        const char *name = record_name(record);
        for (unsigned slot = name_hash(name) & db->index_mask;; slot = (slot + 1) & db->index_mask) {
            if (index[slot] == empty_slot) {
                index[slot] = static_cast<unsigned>(i);
                break;
            }
            if (std::strcmp(record_name(database_species(db, static_cast<int>(index[slot]))), name) == 0) {
                break;
            }
        }
    }
    return 1;
}

// A compiled database's slots are of 16 bits when its species are fewer
// than the empty slot's value, which halves the index of the shipped one.
static const std::uint16_t empty_narrow_slot = 0xffffu;

static int narrow_for(int species_bound) { return species_bound < static_cast<int>(empty_narrow_slot); }

std::size_t compiled_index_bytes(int species_bound)
{
    return name_index_slots(species_bound) * (narrow_for(species_bound) ? sizeof(std::uint16_t) : sizeof(unsigned));
}

void begin_compiled_index(thermo_database *db, std::size_t at, int species_bound)
{
    db->index_at = at;
    db->index_mask = name_index_slots(species_bound) - 1;
    db->narrow_index = narrow_for(species_bound);
    std::memset(db->arena + at, 0xff, compiled_index_bytes(species_bound));
}

// The slot of the name's species, or of the empty slot where it would go.
template <typename slot_type>
static slot_type *compiled_slot(const thermo_database *db, name_words name, slot_type empty)
{
    slot_type *index = reinterpret_cast<slot_type *>(db->arena + db->index_at);
    for (unsigned slot = words_hash(name) & db->index_mask;; slot = (slot + 1) & db->index_mask) {
        if (index[slot] == empty || same_words(compiled_words(db, static_cast<int>(index[slot])), name)) {
            return &index[slot];
        }
    }
}

template <typename slot_type>
static void enter_compiled(thermo_database *db, int species, slot_type empty)
{
    slot_type *slot = compiled_slot(db, compiled_words(db, species), empty);
    if (*slot == empty) {
        *slot = static_cast<slot_type>(species);
    }
}

void index_compiled_species(thermo_database *db, int species)
{
    if (db->narrow_index) {
        enter_compiled<std::uint16_t>(db, species, empty_narrow_slot);
    } else {
        enter_compiled<unsigned>(db, species, empty_slot);
    }
}

static int find_compiled_species(const thermo_database *database, const char *name)
{
    std::size_t length = std::strlen(name);
    if (length > compiled_name_max) {
        return -1;
    }
    unsigned char sixteen[16] = {0};
    std::memcpy(sixteen, name, length + 1); // with its terminator, which fits
    name_words words = words_of(sixteen, length);
    if (database->narrow_index) {
        std::uint16_t at = *compiled_slot<std::uint16_t>(database, words, empty_narrow_slot);
        return at == empty_narrow_slot ? -1 : static_cast<int>(at);
    }
    unsigned at = *compiled_slot<unsigned>(database, words, empty_slot);
    return at == empty_slot ? -1 : static_cast<int>(at);
}

int find_species(const thermo_database *database, const char *name)
{
    if (database->species_count == 0 || name == nullptr) {
        return -1;
    }
    if (database->file != nullptr) {
        return find_compiled_species(database, name);
    }
    const unsigned *index = reinterpret_cast<const unsigned *>(database->arena + database->index_at);
    for (unsigned slot = name_hash(name) & database->index_mask;; slot = (slot + 1) & database->index_mask) {
        unsigned i = index[slot];
        if (i == empty_slot) {
            return -1;
        }
        if (std::strcmp(record_name(database_species(database, static_cast<int>(i))), name) == 0) {
            return static_cast<int>(i);
        }
    }
}

} // namespace cea_impl
