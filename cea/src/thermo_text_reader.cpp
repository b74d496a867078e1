// The record parser of the NASA Glenn text database. The layout is
// column-oriented (Fortran formats), so every field is cut out of its
// columns and converted by the fixed-column number reader; the records go
// straight into the database's arena as they are read.
#include "thermo_text_reader.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "thermo_database_build.h"
#include "thermo_line_reader.h"

namespace cea_impl {

// The eight exponents of the 9-coefficient form, as the database writes them.
static const char standard_exponents_text[] = " -2.0 -1.0  0.0  1.0  2.0  3.0  4.0  0.0";
static const double standard_exponents[] = {-2.0, -1.0, 0.0, 1.0, 2.0, 3.0, 4.0, 0.0};
static const int exponent_count = 8;
static const int lines_per_interval = 3;

// Arena of a stream whose size is not known up front (a pipe); it doubles
// when full.
static const std::size_t unknown_size_arena_bytes = 1u << 20;

// Bytes of arena that a text of `length` bytes can need at most. A record
// takes at least 69 bytes of text (a name line and an 80-column header with
// its line ends) and at most 119 bytes of storage plus 88 per interval, and
// each interval at least 191 bytes of text; then come 4 bytes of offset
// and at most 16 of index per record. Twice the text and an eighth covers
// all of it, so a file of known size is stored without ever moving.
static std::size_t arena_bound(std::size_t length) { return 2 * length + length / 8 + 4096; }

struct reader {
    const char *source;
    failure *error;
    line_reader lines;
    thermo_database *db;
    const thermo_text_listener *listener;
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
        const char *symbol = nullptr;
        std::size_t width = 0;
        cut_field(line, column, 2, &symbol, &width);
        if (!add_formula_pair(f, symbol, width, amount)) {
            return malformed(r, line->number, "an element symbol of the formula (columns 11-50) is not a symbol");
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
    if (n == 0) {
        return malformed(r, name_line->number, "a species name must begin in column 1");
    }
    line_view first_line = *name_line; // the line itself may move with the arena (streamed text only)
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
    record->line_number = first_line.number;
    line_view line2;
    if (!next_data_line(&r->lines, &line2, 0)) {
        return truncated(r, r->lines.line_number, "inside a species record");
    }
    formula f = {};
    int status = read_record_header(r, &line2, record, &f);
    if (status != CEA_OK) {
        return status;
    }
    thermo_interval *intervals = reinterpret_cast<thermo_interval *>(record + 1);
    line_view line3;
    int has_line3 = 0;
    if (record->interval_count == 0) {
        if (!next_data_line(&r->lines, &line3, 0)) {
            return truncated(r, r->lines.line_number, "inside a species record");
        }
        if (!read_number(&line3, 1, 11, &record->assigned_temperature_k) || !(record->assigned_temperature_k > 0.0)) {
            return malformed(r, line3.number,
                             "the temperature of the assigned enthalpy (columns 1-11) is not a positive number");
        }
        has_line3 = 1;
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
    commit_record(db, record, &f, name, n);
    if (r->listener != nullptr) {
        return r->listener->record(r->listener->context, record, &first_line, &line2, has_line3 ? &line3 : nullptr,
                                   r->error);
    }
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
    if (r->listener != nullptr) {
        int status = r->listener->bounds(r->listener->context, &line, r->error);
        if (status != CEA_OK) {
            return status;
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

int parse_thermo_text_listened(const char *text, std::size_t length, const char *source,
                               const thermo_text_listener *listener, thermo_database *database, failure *error)
{
    reader r = reader(); // empty memos
    r.source = source != nullptr ? source : "(memory)";
    r.listener = listener;
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

int parse_thermo_text(const char *text, std::size_t length, const char *source, thermo_database *database,
                      failure *error)
{
    return parse_thermo_text_listened(text, length, source, nullptr, database, error);
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

} // namespace cea_impl
