// Reader of the NASA Glenn text database. The layout is column-oriented
// (Fortran formats), so every field is cut out of its columns and converted
// by the fixed-column number reader; a short line counts as blank-padded,
// which is how LF files with trimmed trailing blanks read in Fortran too.
//
// A file is streamed through one small buffer that is reused for every
// chunk, and the records go straight into the database's arena: in a fresh
// process every new memory page costs far more than the parsing of the
// text that fills it, so the reader keeps both the text and the storage
// to the pages that the data needs.
#include "thermo_database.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fixed_column_number.h"

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

// The eight exponents of the 9-coefficient form, as the database writes them.
static const char standard_exponents_text[] = " -2.0 -1.0  0.0  1.0  2.0  3.0  4.0  0.0";
static const double standard_exponents[] = {-2.0, -1.0, 0.0, 1.0, 2.0, 3.0, 4.0, 0.0};
static const int exponent_count = 8;
static const int lines_per_interval = 3;

// The chunk of a streamed file: large enough that the read calls are few
// (each costs about as much as copying 20 kB), small enough to be a
// handful of pages. It sits at the start of the arena, on the huge page
// where there is one, and once the text is read it holds the record
// offsets and the name index when they fit.
static const std::size_t read_chunk_bytes = 65536;
// Every field lies within the first 80 columns, so of a line longer than
// the chunk only this many columns are kept, and of the rest only whether
// it is blank.
static const std::size_t kept_columns = 128;
// Arena of a stream whose size is not known up front (a pipe); it doubles
// when full.
static const std::size_t unknown_size_arena_bytes = 1u << 20;
// No thermodynamic database comes near this size. The cap keeps the
// arena's offsets within 32 bits and ends the reading of an endless source
// (a device, a pipe that never closes) instead of running on forever.
static const std::size_t max_text_bytes = static_cast<std::size_t>(1) << 30;
static const std::size_t arena_alignment = 8;
// A large arena is laid on transparent huge pages where the system offers
// them (a hint, ignored elsewhere): the few hundred kilobytes that the
// shipped database fills then cost one page fault instead of a hundred.
static const std::size_t huge_page_bytes = 2u << 20;
static const std::size_t huge_page_arena_min = 1u << 20;
// Room for the largest record: its fixed part, nine intervals, five formula
// pairs, a name and the alignment.
static const std::size_t max_record_bytes = sizeof(species_record) + max_interval_count * sizeof(thermo_interval) +
                                            formula_pair_count * (sizeof(double) + element_symbol_size) +
                                            species_name_capacity + 1 + arena_alignment;
static const unsigned empty_slot = 0xffffffffu;
static const unsigned min_index_slots = 16;

static std::size_t align_up(std::size_t n) { return (n + arena_alignment - 1) / arena_alignment * arena_alignment; }

// ---------------------------------------------------------------------------
// Arena

// Bytes of arena that a text of `length` bytes can need at most. A record
// takes at least 69 bytes of text (a name line and an 80-column header with
// its line ends) and at most 119 bytes of storage plus 88 per interval, and
// each interval at least 191 bytes of text; then come 4 bytes of offset
// and at most 16 of index per record. Twice the text and an eighth covers
// all of it, so a file of known size is stored without ever moving.
static std::size_t arena_bound(std::size_t length) { return 2 * length + length / 8 + 4096; }

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
static void poison_unused(const thermo_database *db)
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

// Makes room for `more` bytes after the used part, moving the arena to a
// larger mapping when it is full (only for a text that grows past what its
// size promised).
static int reserve_arena(thermo_database *db, std::size_t more)
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
    database->objects_end = 0;
}

void release_thermo_database(thermo_database *database)
{
    unmap_arena(database->arena, database->arena_capacity);
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
    return reinterpret_cast<const species_record *>(database->arena +
                                                    record_offsets(database)[static_cast<std::size_t>(index)]);
}

static std::size_t record_bytes(const species_record *record)
{
    const char *name = record_name(record);
    return align_up(static_cast<std::size_t>(name - reinterpret_cast<const char *>(record)) + std::strlen(name) + 1);
}

// FNV-1a: short names, a few thousand of them.
static unsigned name_hash(const char *name)
{
    unsigned h = 2166136261u;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p != 0; ++p) {
        h = (h ^ *p) * 16777619u;
    }
    return h;
}

// The offset of each record and the name index (at most half full, the
// first record of a name wins): in the scratch space before the records
// when they fit there, else after the last record.
static int build_index(thermo_database *db)
{
    unsigned slots = min_index_slots;
    while (slots < 2u * static_cast<unsigned>(db->species_count)) {
        slots *= 2;
    }
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

int find_species(const thermo_database *database, const char *name)
{
    if (database->species_count == 0 || name == nullptr) {
        return -1;
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

// ---------------------------------------------------------------------------
// Lines

struct line_view {
    const char *text;
    std::size_t length; // at most kept_columns for a line longer than the chunk
    int number;         // 1-based
    int tail_nonblank;  // a long line has something other than blanks past its kept columns
};

// The unread text is data[start, end): the whole text in memory, or the
// current chunk of a file (then chunk == data and more comes from fd).
struct line_reader {
    const char *data;
    char *chunk;
    int chunk_in_arena; // the chunk is the start of the database's arena
    std::size_t capacity;
    std::size_t start;
    std::size_t end;
    int fd;
    int at_end;
    int read_failed;
    std::size_t total_read;
    int too_large; // more than max_text_bytes
    int line_number;
};

static void refill(line_reader *r)
{
    while (!r->at_end) {
        ssize_t got = read(r->fd, r->chunk + r->end, r->capacity - r->end);
        if (got > 0) {
            r->end += static_cast<std::size_t>(got);
            r->total_read += static_cast<std::size_t>(got);
            if (r->total_read > max_text_bytes) {
                r->too_large = 1;
                r->at_end = 1;
            }
            return;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        r->read_failed = got < 0;
        r->at_end = 1;
        return;
    }
}

// A whole line loses the CR of a CRLF end; a long line, cut to its kept
// columns, has no end to lose (and its CR is blank like the rest).
static int deliver(line_reader *r, const char *text, std::size_t length, int whole, int tail_nonblank, line_view *line)
{
    if (whole && length > 0 && text[length - 1] == '\r') {
        --length;
    }
    ++r->line_number;
    line->text = text;
    line->length = length;
    line->number = r->line_number;
    line->tail_nonblank = tail_nonblank;
    return 1;
}

// A line that fills the whole chunk: keep its first columns where they are
// and read on to its end, noting whether anything but blanks follows.
static int next_long_line(line_reader *r, line_view *line)
{
    int tail_nonblank = 0;
    const char *newline = nullptr;
    for (;;) {
        const char *from = r->chunk + kept_columns;
        std::size_t n = r->end - kept_columns;
        newline = static_cast<const char *>(std::memchr(from, '\n', n));
        std::size_t scanned = newline != nullptr ? static_cast<std::size_t>(newline - from) : n;
        if (!tail_nonblank && !field_is_blank(from, scanned)) {
            tail_nonblank = 1;
        }
        if (newline != nullptr) {
            break;
        }
        r->end = kept_columns;
        refill(r);
        if (r->end == kept_columns) {
            break; // the text ends inside the line
        }
    }
    r->start = newline != nullptr ? static_cast<std::size_t>(newline + 1 - r->chunk) : r->end;
    return deliver(r, r->chunk, kept_columns, 0, tail_nonblank, line);
}

// Next physical line, without its LF or CRLF. 0 at the end of the text.
static int next_line(line_reader *r, line_view *line)
{
    const char *newline = nullptr;
    for (;;) {
        if (r->start < r->end) {
            newline = static_cast<const char *>(std::memchr(r->data + r->start, '\n', r->end - r->start));
        }
        if (newline != nullptr || r->at_end) {
            break;
        }
        if (r->start > 0) {
            std::memmove(r->chunk, r->chunk + r->start, r->end - r->start);
            r->end -= r->start;
            r->start = 0;
        }
        if (r->end == r->capacity) {
            return next_long_line(r, line);
        }
        refill(r);
    }
    const char *text = r->data + r->start;
    std::size_t length = 0;
    if (newline != nullptr) {
        length = static_cast<std::size_t>(newline - text);
        r->start += length + 1;
    } else {
        if (r->start >= r->end) {
            return 0;
        }
        length = r->end - r->start;
        r->start = r->end;
    }
    return deliver(r, text, length, 1, 0, line);
}

static int is_comment(const line_view *line) { return line->length > 0 && line->text[0] == '!'; }

static int is_blank_line(const line_view *line)
{
    return !line->tail_nonblank && field_is_blank(line->text, line->length);
}

// Next line that is not a comment; blank lines are skipped only when
// skip_blank is set (between records, not inside one).
static int next_data_line(line_reader *r, line_view *line, int skip_blank)
{
    while (next_line(r, line)) {
        if (is_comment(line)) {
            continue;
        }
        if (skip_blank && is_blank_line(line)) {
            continue;
        }
        return 1;
    }
    return 0;
}

template <std::size_t size>
static int starts_with(const line_view *line, const char (&prefix)[size])
{
    return line->length >= size - 1 && std::memcmp(line->text, prefix, size - 1) == 0;
}

// Columns first_column .. first_column + width - 1 (1-based) of the line,
// clipped to what the line holds.
static void cut_field(const line_view *line, int first_column, int width, const char **field, std::size_t *field_width)
{
    std::size_t start = static_cast<std::size_t>(first_column - 1);
    std::size_t w = static_cast<std::size_t>(width);
    if (start >= line->length) {
        *field = line->text + line->length;
        *field_width = 0;
        return;
    }
    if (start + w > line->length) {
        w = line->length - start;
    }
    *field = line->text + start;
    *field_width = w;
}

static int read_number(const line_view *line, int first_column, int width, double *value)
{
    const char *field = nullptr;
    std::size_t field_width = 0;
    cut_field(line, first_column, width, &field, &field_width);
    return parse_fixed_number(field, field_width, value);
}

// A 16-column coefficient field: as read_number, with the shape that the
// database always uses read inline.
static inline int read_coefficient(const line_view *line, int first_column, double *value)
{
    static const std::size_t coefficient_width = 16;
    std::size_t start = static_cast<std::size_t>(first_column - 1);
    if (start + coefficient_width <= line->length && parse_coefficient_field(line->text + start, value)) {
        return 1;
    }
    return read_number(line, first_column, static_cast<int>(coefficient_width), value);
}

// The last few distinct texts of one kind of field with their values: the
// database repeats the same temperatures (200, 1000, 6000 K), atom counts
// and small integers thousands of times, and an equal text has an equal
// value. A field is compared as two words of its own bytes.
static const int memo_slots = 4;
static const std::size_t memo_field_bytes = 16;

struct number_memo {
    std::uint64_t text[memo_slots][2];
    std::size_t width[memo_slots]; // 0: an empty slot
    double value[memo_slots];
    int next;
};

// read_number through a memo. Only a field that lies wholly inside the
// line with 16 bytes to read from its start is looked up (the others are
// read as usual).
static int read_number_memo(const line_view *line, int first_column, int width, number_memo *memo, double *value)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::size_t start = static_cast<std::size_t>(first_column - 1);
    std::size_t w = static_cast<std::size_t>(width);
    if (w < memo_field_bytes && start + memo_field_bytes <= line->length) {
        std::uint64_t text[2];
        std::memcpy(text, line->text + start, sizeof text);
        // Keep the field's own bytes, the first in the lowest.
        if (w < 8) {
            text[0] &= (static_cast<std::uint64_t>(1) << (8 * w)) - 1;
            text[1] = 0;
        } else {
            text[1] &= w == 8 ? 0 : (static_cast<std::uint64_t>(1) << (8 * (w - 8))) - 1;
        }
        for (int s = 0; s < memo_slots; ++s) {
            if (memo->width[s] == w && memo->text[s][0] == text[0] && memo->text[s][1] == text[1]) {
                *value = memo->value[s];
                return 1;
            }
        }
        if (!read_number(line, first_column, width, value)) {
            return 0;
        }
        int s = memo->next;
        memo->text[s][0] = text[0];
        memo->text[s][1] = text[1];
        memo->width[s] = w;
        memo->value[s] = *value;
        memo->next = (s + 1) % memo_slots;
        return 1;
    }
#else
    (void)memo;
#endif
    return read_number(line, first_column, width, value);
}

static int read_integer(const line_view *line, int first_column, int width, int low, int high, number_memo *memo,
                        int *value)
{
    double v = 0.0;
    if (!read_number_memo(line, first_column, width, memo, &v) || !(v >= low && v <= high)) {
        return 0;
    }
    int whole = static_cast<int>(v);
    if (static_cast<double>(whole) != v) {
        return 0;
    }
    *value = whole;
    return 1;
}

// ---------------------------------------------------------------------------
// Records

struct reader {
    const char *source;
    failure *error;
    line_reader lines;
    thermo_database *db;
    number_memo temperatures; // interval bounds and assigned temperatures
    number_memo atom_counts;
    number_memo integers; // interval and coefficient counts, phases
};

static int malformed(const reader *r, int line_number, const char *what)
{
    return fail(r->error, CEA_MALFORMED_DATABASE, "malformed thermodynamic database %s: line %d: %s", r->source,
                line_number, what);
}

static int truncated(const reader *r, int line_number, const char *what)
{
    return fail(r->error, CEA_MALFORMED_DATABASE, "malformed thermodynamic database %s: the text ends after line %d %s",
                r->source, line_number, what);
}

static int out_of_memory(const reader *r)
{
    return fail(r->error, CEA_OUT_OF_MEMORY, "thermodynamic database %s: out of memory", r->source);
}

static int too_large(failure *error, const char *source)
{
    return fail(error, CEA_MALFORMED_DATABASE,
                "malformed thermodynamic database %s: more than %zu bytes, which no database comes near", source,
                max_text_bytes);
}

static int is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The formula of a record while it is read.
struct formula {
    int count;
    char symbols[formula_pair_count][element_symbol_size];
    double amounts[formula_pair_count];
};

// Line 2 of a record: interval count, formula, phase, molecular weight and
// enthalpy.
static int read_record_header(reader *r, const line_view *line, species_record *record, formula *f)
{
    int interval_count = 0;
    if (!read_integer(line, 1, 2, 0, max_interval_count, &r->integers, &interval_count)) {
        return malformed(r, line->number, "the number of temperature intervals (columns 1-2) must be 0 to 9");
    }
    record->interval_count = static_cast<unsigned char>(interval_count);
    f->count = 0;
    for (int pair = 0; pair < formula_pair_count; ++pair) {
        int column = 11 + 8 * pair;
        double amount = 0.0;
        if (!read_number_memo(line, column + 2, 6, &r->atom_counts, &amount)) {
            const char *field = nullptr;
            std::size_t width = 0;
            cut_field(line, column + 2, 6, &field, &width);
            if (!field_is_blank(field, width)) {
                return malformed(r, line->number, "an atom count of the formula (columns 11-50) is not a number");
            }
            amount = 0.0;
        }
        if (amount == 0.0) {
            continue; // an unused pair, whatever its symbol columns hold
        }
        const char *symbol = nullptr;
        std::size_t width = 0;
        cut_field(line, column, 2, &symbol, &width);
        char text[element_symbol_size] = {0, 0, 0};
        std::size_t n = 0;
        for (std::size_t i = 0; i < width; ++i) {
            if (symbol[i] != ' ') {
                text[n++] = symbol[i];
            }
        }
        if (n == 0 || !is_letter(text[0]) || (n == 2 && !is_letter(text[1]))) {
            return malformed(r, line->number, "an element symbol of the formula (columns 11-50) is not a symbol");
        }
        int merged = 0;
        for (int e = 0; e < f->count; ++e) {
            if (std::strcmp(f->symbols[e], text) == 0) {
                f->amounts[e] += amount;
                merged = 1;
            }
        }
        if (!merged) {
            std::memcpy(f->symbols[f->count], text, sizeof text);
            f->amounts[f->count] = amount;
            ++f->count;
        }
    }
    if (f->count == 0) {
        return malformed(r, line->number, "the formula (columns 11-50) names no element");
    }
    record->element_count = static_cast<unsigned char>(f->count);
    int phase = 0;
    if (!read_integer(line, 51, 2, -99, 99, &r->integers, &phase)) {
        return malformed(r, line->number, "the phase (columns 51-52) is not an integer");
    }
    record->condensed = phase != 0;
    if (!read_number(line, 53, 13, &record->molecular_weight_kg_kmol) || !(record->molecular_weight_kg_kmol > 0.0)) {
        return malformed(r, line->number, "the molecular weight (columns 53-65) is not a positive number");
    }
    if (!read_number(line, 66, 15, &record->enthalpy_j_mol)) {
        return malformed(r, line->number, "the enthalpy (columns 66-80) is not a number");
    }
    return CEA_OK;
}

static int read_interval(reader *r, thermo_interval *out)
{
    line_view line;
    if (!next_data_line(&r->lines, &line, 0)) {
        return truncated(r, r->lines.line_number, "inside a temperature interval");
    }
    if (!read_number_memo(&line, 1, 11, &r->temperatures, &out->t_low_k) ||
        !read_number_memo(&line, 12, 11, &r->temperatures, &out->t_high_k) || !(out->t_low_k > 0.0) ||
        !(out->t_high_k > out->t_low_k)) {
        return malformed(r, line.number,
                         "the temperature interval (columns 1-22) must be two increasing positive numbers");
    }
    int coefficient_count = 0;
    if (!read_integer(&line, 23, 1, 0, 9, &r->integers, &coefficient_count) ||
        coefficient_count != fit_coefficient_count) {
        return malformed(r, line.number, "the number of coefficients (column 23) must be 7");
    }
    const char *exponents = nullptr;
    std::size_t width = 0;
    cut_field(&line, 24, 40, &exponents, &width);
    if (width != 40 || std::memcmp(exponents, standard_exponents_text, 40) != 0) {
        for (int i = 0; i < exponent_count; ++i) {
            double e = 0.0;
            if (!read_number(&line, 24 + 5 * i, 5, &e) || e != standard_exponents[i]) {
                return malformed(r, line.number, "the exponents (columns 24-63) must be -2 -1 0 1 2 3 4 0");
            }
        }
    }
    if (!next_data_line(&r->lines, &line, 0)) {
        return truncated(r, r->lines.line_number, "inside a temperature interval");
    }
    for (int i = 0; i < 5; ++i) {
        if (!read_coefficient(&line, 1 + 16 * i, &out->a[i])) {
            return malformed(r, line.number, "a coefficient a1-a5 (five fields of 16 columns) is not a number");
        }
    }
    if (!next_data_line(&r->lines, &line, 0)) {
        return truncated(r, r->lines.line_number, "inside a temperature interval");
    }
    if (!read_coefficient(&line, 1, &out->a[5]) || !read_coefficient(&line, 17, &out->a[6])) {
        return malformed(r, line.number, "a coefficient a6-a7 (columns 1-32) is not a number");
    }
    if (!read_coefficient(&line, 49, &out->b[0]) || !read_coefficient(&line, 65, &out->b[1])) {
        return malformed(r, line.number, "an integration constant b1-b2 (columns 49-80) is not a number");
    }
    return CEA_OK;
}

// Reads one record into the arena after the last one; it becomes part of
// the database only when all of it has been read.
static int read_record(reader *r, const line_view *name_line, int product)
{
    thermo_database *db = r->db;
    char name[species_name_capacity + 1];
    std::size_t n = 0;
    while (n < name_line->length && n < static_cast<std::size_t>(species_name_capacity) && name_line->text[n] != ' ' &&
           name_line->text[n] != '\t' && name_line->text[n] != '\0') {
        name[n] = name_line->text[n];
        ++n;
    }
    name[n] = '\0';
    if (n == 0) {
        return malformed(r, name_line->number, "a species name must begin in column 1");
    }
    int name_line_number = name_line->number; // the line itself may move with the arena
    if (!reserve_arena(db, max_record_bytes)) {
        return out_of_memory(r);
    }
    if (r->lines.chunk_in_arena) {
        r->lines.chunk = db->arena;
        r->lines.data = db->arena;
    }
    species_record *record = reinterpret_cast<species_record *>(db->arena + db->arena_used);
    std::memset(record, 0, sizeof *record);
    record->product = static_cast<unsigned char>(product);
    record->line_number = name_line_number;
    line_view line;
    if (!next_data_line(&r->lines, &line, 0)) {
        return truncated(r, r->lines.line_number, "inside a species record");
    }
    formula f = {};
    int status = read_record_header(r, &line, record, &f);
    if (status != CEA_OK) {
        return status;
    }
    thermo_interval *intervals = reinterpret_cast<thermo_interval *>(record + 1);
    if (record->interval_count == 0) {
        if (!next_data_line(&r->lines, &line, 0)) {
            return truncated(r, r->lines.line_number, "inside a species record");
        }
        if (!read_number(&line, 1, 11, &record->assigned_temperature_k) || !(record->assigned_temperature_k > 0.0)) {
            return malformed(r, line.number,
                             "the temperature of the assigned enthalpy (columns 1-11) is not a positive number");
        }
    } else {
        for (int i = 0; i < record->interval_count; ++i) {
            status = read_interval(r, &intervals[i]);
            if (status != CEA_OK) {
                return status;
            }
            if (i > 0 && intervals[i].t_low_k < intervals[i - 1].t_high_k) {
                return malformed(r, r->lines.line_number - lines_per_interval + 1,
                                 "temperature intervals must follow one another in increasing order");
            }
        }
    }
    // A condensed substance with a transition inside one phase (Co(b), Fe(a))
    // has consecutive records of the same name, one per temperature range:
    // all of them are phases for equilibrium, and a lookup by name finds the
    // first.
    double *amounts = reinterpret_cast<double *>(intervals + record->interval_count);
    std::memcpy(amounts, f.amounts, static_cast<std::size_t>(f.count) * sizeof(double));
    char *symbols = reinterpret_cast<char *>(amounts + f.count);
    std::memcpy(symbols, f.symbols, static_cast<std::size_t>(f.count) * element_symbol_size);
    std::memcpy(symbols + static_cast<std::ptrdiff_t>(f.count) * element_symbol_size, name, n + 1);
    db->arena_used += record_bytes(record);
    poison_unused(db);
    db->interval_count += record->interval_count;
    ++db->species_count;
    return CEA_OK;
}

static int parse_lines(reader *r)
{
    line_view line;
    for (;;) {
        if (!next_data_line(&r->lines, &line, 1)) {
            if (r->lines.line_number == 0) {
                return fail(r->error, CEA_MALFORMED_DATABASE, "malformed thermodynamic database %s: the file is empty",
                            r->source);
            }
            return truncated(r, r->lines.line_number, "without a line that begins with 'thermo'");
        }
        if (starts_with(&line, "thermo")) {
            break;
        }
        return malformed(r, line.number, "expected the line that begins with 'thermo'");
    }
    if (!next_data_line(&r->lines, &line, 1)) {
        return truncated(r, r->lines.line_number, "before the common temperature bounds");
    }
    double bounds[4];
    for (int i = 0; i < 4; ++i) {
        if (!read_number(&line, 1 + 10 * i, 10, &bounds[i]) || (i > 0 && !(bounds[i] > bounds[i - 1]))) {
            return malformed(r, line.number, "the common temperature bounds (four fields of 10 columns) must increase");
        }
    }
    int product = 1;
    for (;;) {
        if (!next_data_line(&r->lines, &line, 1)) {
            return truncated(r, r->lines.line_number, product ? "before END PRODUCTS" : "before END REACTANTS");
        }
        if (starts_with(&line, "END PRODUCTS")) {
            if (!product) {
                return malformed(r, line.number, "a second END PRODUCTS");
            }
            product = 0;
            continue;
        }
        if (starts_with(&line, "END REACTANTS")) {
            if (product) {
                return malformed(r, line.number, "END REACTANTS before END PRODUCTS");
            }
            return CEA_OK;
        }
        int status = read_record(r, &line, product);
        if (status != CEA_OK) {
            return status;
        }
    }
}

// Parses from r->lines into a fresh database whose arena starts with
// arena_capacity bytes, the first scratch_bytes of them left before the
// records (the read chunk, when r->lines.chunk_in_arena).
static int parse(reader *r, std::size_t arena_capacity, std::size_t scratch_bytes)
{
    thermo_database *db = r->db;
    init_thermo_database(db);
    if (!reserve_arena(db, arena_capacity)) {
        return out_of_memory(r);
    }
    db->arena_used = scratch_bytes;
    db->records_at = scratch_bytes;
    if (r->lines.chunk_in_arena) {
        r->lines.chunk = db->arena;
        r->lines.data = db->arena;
    }
    int status = parse_lines(r);
    if (status == CEA_OK && !build_index(db)) {
        status = out_of_memory(r);
    }
    if (status != CEA_OK) {
        release_thermo_database(db);
    } else {
        poison_unused(db);
    }
    return status;
}

int parse_thermo_text(const char *text, std::size_t length, const char *source, thermo_database *database,
                      failure *error)
{
    reader r = reader(); // empty memos
    r.source = source != nullptr ? source : "(memory)";
    r.error = error;
    r.db = database;
    r.lines.data = text;
    r.lines.chunk = nullptr;
    r.lines.chunk_in_arena = 0;
    r.lines.capacity = length;
    r.lines.start = 0;
    r.lines.end = text != nullptr ? length : 0;
    r.lines.fd = -1;
    r.lines.at_end = 1;
    r.lines.read_failed = 0;
    r.lines.line_number = 0;
    if (r.lines.end > max_text_bytes) {
        init_thermo_database(database);
        return too_large(error, r.source);
    }
    return parse(&r, arena_bound(r.lines.end), 0);
}

int load_thermo_descriptor(int fd, const char *source, std::size_t chunk_bytes, std::size_t first_arena_bytes,
                           thermo_database *database, failure *error)
{
    init_thermo_database(database);
    reader r = reader(); // empty memos
    r.source = source != nullptr ? source : "(descriptor)";
    r.error = error;
    r.db = database;
    r.lines.data = nullptr;
    r.lines.chunk = nullptr;
    r.lines.chunk_in_arena = 0;
    r.lines.capacity = chunk_bytes > kept_columns ? chunk_bytes : kept_columns + 1;
    r.lines.start = 0;
    r.lines.end = 0;
    r.lines.fd = fd;
    r.lines.at_end = 0;
    r.lines.read_failed = 0;
    r.lines.line_number = 0;
    // A regular file's size bounds the storage, and the chunk goes in the
    // arena. Anything else (a pipe, a device) starts from a guess and
    // grows, with a chunk of its own.
    struct stat info;
    int status = CEA_OK;
    int regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
    if (regular && static_cast<std::size_t>(info.st_size) > max_text_bytes) {
        return too_large(error, r.source);
    }
    if (regular) {
        r.lines.chunk_in_arena = 1;
        std::size_t scratch = align_up(r.lines.capacity);
        std::size_t bound = arena_bound(static_cast<std::size_t>(info.st_size)) + scratch;
        status = parse(&r, first_arena_bytes > 0 ? scratch + first_arena_bytes : bound, scratch);
    } else {
        r.lines.chunk = static_cast<char *>(std::malloc(r.lines.capacity));
        r.lines.data = r.lines.chunk;
        std::size_t first = first_arena_bytes > 0 ? first_arena_bytes : unknown_size_arena_bytes;
        status = r.lines.chunk != nullptr ? parse(&r, first, 0) : out_of_memory(&r);
        std::free(r.lines.chunk);
    }
    if (r.lines.read_failed) {
        // Whatever the parse made of the part it got, the file is at fault.
        release_thermo_database(database);
        return fail(error, CEA_INVALID_FILENAME, "cannot read the thermodynamic database %s", r.source);
    }
    if (r.lines.too_large) {
        release_thermo_database(database);
        return too_large(error, r.source);
    }
    return status;
}

int load_thermo_file(const char *path, thermo_database *database, failure *error)
{
    init_thermo_database(database);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail(error, CEA_INVALID_FILENAME, "cannot open the thermodynamic database %s", path);
    }
    int status = load_thermo_descriptor(fd, path, read_chunk_bytes, 0, database, error);
    close(fd);
    return status;
}

} // namespace cea_impl
