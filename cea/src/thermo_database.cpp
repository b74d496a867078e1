// The database arena: one mapping that holds every record in file order,
// then the table of record offsets and the name index, and lends its spare
// room to the objects made from the database. In a fresh process every new
// memory page costs far more than the work of filling it, so the arena is
// mapped (its pages cost nothing until written) and, when large, laid on a
// transparent huge page.
#include "thermo_database.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

#include "thermo_database_build.h"

#if defined(__SANITIZE_ADDRESS__)
#define LRE_CEA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LRE_CEA_ASAN 1
#endif
#endif
#ifndef LRE_CEA_ASAN
#define LRE_CEA_ASAN 0
#endif
#if LRE_CEA_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace cea_impl {

// A large arena is laid on transparent huge pages where the system offers
// them (a hint, ignored elsewhere): the few hundred kilobytes that the
// shipped database fills then cost one page fault instead of a hundred.
static const std::size_t huge_page_bytes = 2u << 20;
static const std::size_t huge_page_arena_min = 1u << 20;

static void unmap_arena(char *arena, std::size_t capacity)
{
    if (arena != nullptr) {
#if LRE_CEA_ASAN
        ASAN_UNPOISON_MEMORY_REGION(arena, capacity);
#endif
        munmap(arena, capacity);
    }
}

// The arena is mapped rather than allocated: its pages are zero and cost
// nothing until the reader writes them. Under AddressSanitizer the part not
// yet handed out stays poisoned, so that the reader's fuzzing catches a
// write past what it reserved.
void poison_unused(const thermo_database *db)
{
#if LRE_CEA_ASAN
    if (db->arena != nullptr) {
        ASAN_POISON_MEMORY_REGION(db->arena + db->arena_used, db->arena_capacity - db->arena_used);
    }
#else
    (void)db;
#endif
}

static void unpoison(const thermo_database *db, std::size_t bytes)
{
#if LRE_CEA_ASAN
    ASAN_UNPOISON_MEMORY_REGION(db->arena + db->arena_used, bytes);
#else
    (void)db;
    (void)bytes;
#endif
}

// A zeroed mapping of at least *capacity bytes (updated), aligned to the
// huge page size when large.
static char *map_arena(std::size_t *capacity)
{
    std::size_t size = *capacity;
    if (size < huge_page_arena_min) {
        void *mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return mapped == MAP_FAILED ? nullptr : static_cast<char *>(mapped);
    }
    size = (size + huge_page_bytes - 1) / huge_page_bytes * huge_page_bytes;
    void *mapped = mmap(nullptr, size + huge_page_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    // Over-mapped by one huge page, then trimmed to an aligned start.
    char *raw = static_cast<char *>(mapped);
    std::size_t lead = (huge_page_bytes - reinterpret_cast<std::uintptr_t>(raw) % huge_page_bytes) % huge_page_bytes;
    if (lead > 0) {
        munmap(raw, lead);
    }
    if (huge_page_bytes - lead > 0) {
        munmap(raw + lead + size, huge_page_bytes - lead);
    }
#ifdef MADV_HUGEPAGE
    madvise(raw + lead, size, MADV_HUGEPAGE);
#endif
    *capacity = size;
    return raw + lead;
}

void prefault_pages(void *at, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    if (at != nullptr && bytes > 0) {
        madvise(at, bytes, MADV_POPULATE_WRITE); // a hint: an older system faults them in as they are used
    }
#else
    (void)at;
    (void)bytes;
#endif
}

// Makes room for `more` bytes after the used part, moving the arena to a
// larger mapping when it is full (only for a text that grows past what its
// size promised).
int reserve_arena(thermo_database *db, std::size_t more)
{
    std::size_t need = db->arena_used + more;
    if (db->arena == nullptr || need > db->arena_capacity) {
        std::size_t capacity = db->arena_capacity * 2;
        if (capacity < need) {
            capacity = need;
        }
        char *arena = map_arena(&capacity);
        if (arena == nullptr) {
            return 0;
        }
        if (db->arena != nullptr) {
            std::memcpy(arena, db->arena, db->arena_used); // the used part is never poisoned
            unmap_arena(db->arena, db->arena_capacity);
        }
        db->arena = arena;
        db->arena_capacity = capacity;
        poison_unused(db);
    }
    unpoison(db, more);
    return 1;
}

void init_thermo_database(thermo_database *database)
{
    database->arena = nullptr;
    database->arena_capacity = 0;
    database->arena_used = 0;
    database->records_at = 0;
    database->species_count = 0;
    database->interval_count = 0;
    database->offsets_at = 0;
    database->index_at = 0;
    database->index_mask = 0;
    database->narrow_index = 0;
    database->objects_end = 0;
    database->file = nullptr;
    database->file_length = 0;
    database->gases_end = 0;
    database->products_end = 0;
    for (double &bound : database->common_bounds_k) {
        bound = 0.0;
    }
    database->directory_at = 0;
    database->built_at = 0;
    database->element_bits_at = 0;
    database->records = nullptr;
    database->records_capacity = 0;
    database->records_used = 0;
    database->building = 0;
}

void release_thermo_database(thermo_database *database)
{
    unmap_arena(database->arena, database->arena_capacity);
    if (database->file != nullptr) {
        munmap(const_cast<unsigned char *>(database->file), database->file_length);
    }
    if (database->records != nullptr) {
        munmap(database->records, database->records_capacity);
    }
    init_thermo_database(database);
}

// Objects are lent memory up to the end of the huge page (or, without
// huge pages, the ordinary page) on which the records end.
static std::size_t lending_limit(const thermo_database *db)
{
    std::size_t page = db->arena_capacity >= huge_page_arena_min ? huge_page_bytes : 4096;
    std::size_t limit = (db->arena_used + page - 1) / page * page;
    return limit < db->arena_capacity ? limit : db->arena_capacity;
}

// Objects of one database may be created and destroyed on several threads
// at once: the end of the lent part moves only by compare-and-swap, so that
// each block is lent to one object and taken back once.
void *lend_object_memory(const thermo_database *database, std::size_t bytes)
{
    std::size_t limit = lending_limit(database);
    std::size_t end = __atomic_load_n(&database->objects_end, __ATOMIC_ACQUIRE);
    while (database->arena != nullptr) {
        std::size_t start = align_up(end > database->arena_used ? end : database->arena_used);
        if (start > limit || bytes > limit - start) {
            break;
        }
        if (__atomic_compare_exchange_n(&database->objects_end, &end, start + bytes, true, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE)) {
            char *block = database->arena + start;
#if LRE_CEA_ASAN
            ASAN_UNPOISON_MEMORY_REGION(block, bytes);
#endif
            std::memset(block, 0, bytes); // fresh pages are zero, given-back ones not
            return block;
        }
    }
    return std::calloc(bytes, 1);
}

void return_object_memory(const thermo_database *database, void *block, std::size_t bytes)
{
    char *at = static_cast<char *>(block);
    if (database->arena != nullptr && at >= database->arena && at < database->arena + database->arena_capacity) {
        // Poisoned while still ours: once the end moves back, another
        // thread may lend the same bytes.
#if LRE_CEA_ASAN
        ASAN_POISON_MEMORY_REGION(at, bytes);
#endif
        std::size_t end = static_cast<std::size_t>(at - database->arena) + bytes;
        // Only the last block lent moves the end back.
        __atomic_compare_exchange_n(&database->objects_end, &end, end - bytes, false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE);
        return;
    }
    std::free(block);
}

static const unsigned *record_offsets(const thermo_database *db)
{
    return reinterpret_cast<const unsigned *>(db->arena + db->offsets_at);
}

const species_record *database_species(const thermo_database *database, int index)
{
    if (database->file != nullptr) {
        const std::uint32_t *built = reinterpret_cast<const std::uint32_t *>(database->arena + database->built_at);
        std::uint32_t at = __atomic_load_n(&built[index], __ATOMIC_ACQUIRE);
        if (at == 0 || at == compiled_inert_at) {
            return build_compiled_species(database, index);
        }
        return reinterpret_cast<const species_record *>(database->records + (at - 1));
    }
    return reinterpret_cast<const species_record *>(database->arena +
                                                    record_offsets(database)[static_cast<std::size_t>(index)]);
}

int record_elements(const thermo_database *database, int index, unsigned codes[formula_pair_count], int *count)
{
    const species_record *record = database_species(database, index);
    for (int e = 0; e < record->element_count; ++e) {
        codes[e] = element_symbol_code(record_element_symbol(record, e));
    }
    *count = record->element_count;
    return record->product;
}

std::size_t record_bytes(const species_record *record)
{
    const char *name = record_name(record);
    return align_up(static_cast<std::size_t>(name - reinterpret_cast<const char *>(record)) + std::strlen(name) + 1);
}

} // namespace cea_impl
