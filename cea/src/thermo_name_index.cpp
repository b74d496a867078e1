// The name index of a database: an open-addressing table of record
// numbers (at most half full, the first record of a name wins), with the
// table of record offsets before it, in the scratch space before the
// records when they fit there, else after the last record.
#include "thermo_database.h"

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

// The same hash over the bytes of a name that is not terminated.
static unsigned name_bytes_hash(const unsigned char *name, std::size_t length)
{
    unsigned h = 2166136261u;
    for (std::size_t i = 0; i < length; ++i) {
        h = (h ^ name[i]) * 16777619u;
    }
    return h;
}

static const unsigned char *compiled_name(const thermo_database *db, int index, std::size_t *length)
{
    const compiled_species *s = &compiled_directory(db)[index];
    *length = s->name_length;
    return db->file + s->offset + 4 + s->name_from; // past the length marker
}

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

void begin_compiled_index(thermo_database *db, std::size_t at, int species_bound)
{
    unsigned slots = name_index_slots(species_bound);
    db->index_at = at;
    db->index_mask = slots - 1;
    std::memset(db->arena + at, 0xff, slots * sizeof(unsigned));
}

void index_compiled_species(thermo_database *db, int species)
{
    unsigned *index = reinterpret_cast<unsigned *>(db->arena + db->index_at);
    std::size_t length = 0;
    const unsigned char *name = compiled_name(db, species, &length);
    for (unsigned slot = name_bytes_hash(name, length) & db->index_mask;; slot = (slot + 1) & db->index_mask) {
        if (index[slot] == empty_slot) {
            index[slot] = static_cast<unsigned>(species);
            return;
        }
        std::size_t other_length = 0;
        const unsigned char *other = compiled_name(db, static_cast<int>(index[slot]), &other_length);
        if (other_length == length && std::memcmp(other, name, length) == 0) {
            return;
        }
    }
}

static int find_compiled_species(const thermo_database *database, const char *name)
{
    std::size_t length = std::strlen(name);
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(name);
    const unsigned *index = reinterpret_cast<const unsigned *>(database->arena + database->index_at);
    for (unsigned slot = name_bytes_hash(bytes, length) & database->index_mask;;
         slot = (slot + 1) & database->index_mask) {
        unsigned i = index[slot];
        if (i == empty_slot) {
            return -1;
        }
        std::size_t other_length = 0;
        const unsigned char *other = compiled_name(database, static_cast<int>(i), &other_length);
        if (other_length == length && std::memcmp(other, bytes, length) == 0) {
            return static_cast<int>(i);
        }
    }
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
