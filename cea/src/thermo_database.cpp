// Reader of the NASA Glenn text database. The layout is column-oriented
// (Fortran formats), so every field is cut out of its columns and converted
// by the fixed-column number reader; a short line counts as blank-padded,
// which is how LF files with trimmed trailing blanks read in Fortran too.
#include "thermo_database.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "fixed_column_number.h"

namespace cea_impl {

// The eight exponents of the 9-coefficient form, as the database writes them.
static const char standard_exponents_text[] = " -2.0 -1.0  0.0  1.0  2.0  3.0  4.0  0.0";
static const double standard_exponents[] = {-2.0, -1.0, 0.0, 1.0, 2.0, 3.0, 4.0, 0.0};
static const int exponent_count = 8;
static const int assigned_enthalpy_line_count = 1;
static const int lines_per_interval = 3;
static const std::size_t read_chunk_bytes = 1 << 16;
static const unsigned long max_size_guess_bytes = 1ul << 30;

struct line_view {
    const char *text;
    std::size_t length;
    int number;  // 1-based
};

struct line_cursor {
    const char *text;
    std::size_t length;
    std::size_t position;
    int line_number;
};

// Next physical line, without its LF or CRLF. 0 at the end of the text.
static int next_line(line_cursor *cursor, line_view *line)
{
    if (cursor->position >= cursor->length) {
        return 0;
    }
    const char *start = cursor->text + cursor->position;
    std::size_t rest = cursor->length - cursor->position;
    const void *newline = std::memchr(start, '\n', rest);
    std::size_t length = newline != nullptr ? static_cast<std::size_t>(static_cast<const char *>(newline) - start) : rest;
    cursor->position += newline != nullptr ? length + 1 : length;
    if (length > 0 && start[length - 1] == '\r') {
        --length;
    }
    ++cursor->line_number;
    line->text = start;
    line->length = length;
    line->number = cursor->line_number;
    return 1;
}

static int is_comment(const line_view *line)
{
    return line->length > 0 && line->text[0] == '!';
}

static int is_blank_line(const line_view *line)
{
    return field_is_blank(line->text, line->length);
}

// Next line that is not a comment; blank lines are skipped only when
// skip_blank is set (between records, not inside one).
static int next_data_line(line_cursor *cursor, line_view *line, int skip_blank)
{
    while (next_line(cursor, line)) {
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

static int starts_with(const line_view *line, const char *prefix)
{
    std::size_t n = std::strlen(prefix);
    return line->length >= n && std::memcmp(line->text, prefix, n) == 0;
}

// Columns first_column .. first_column + width - 1 (1-based) of the line,
// clipped to what the line holds.
static void cut_field(const line_view *line, int first_column, int width, const char **field,
                      std::size_t *field_width)
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

static int read_integer(const line_view *line, int first_column, int width, int low, int high, int *value)
{
    double v = 0.0;
    if (!read_number(line, first_column, width, &v) || v != std::floor(v) || v < low || v > high) {
        return 0;
    }
    *value = static_cast<int>(v);
    return 1;
}

struct reader {
    const char *source;
    failure *error;
};

static int malformed(const reader *r, int line_number, const char *what)
{
    return fail(r->error, CEA_MALFORMED_DATABASE, "malformed thermodynamic database %s: line %d: %s", r->source,
                line_number, what);
}

static int truncated(const reader *r, int line_number, const char *what)
{
    return fail(r->error, CEA_MALFORMED_DATABASE,
                "malformed thermodynamic database %s: the text ends after line %d %s", r->source, line_number,
                what);
}

static int is_letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Line 2 of a record: interval count, formula, phase, molecular weight and
// enthalpy.
static int read_record_header(const reader *r, const line_view *line, species_record *record)
{
    if (!read_integer(line, 1, 2, 0, max_interval_count, &record->interval_count)) {
        return malformed(r, line->number, "the number of temperature intervals (columns 1-2) must be 0 to 9");
    }
    record->element_count = 0;
    for (int pair = 0; pair < formula_pair_count; ++pair) {
        int column = 11 + 8 * pair;
        double amount = 0.0;
        if (!read_number(line, column + 2, 6, &amount)) {
            const char *field = nullptr;
            std::size_t width = 0;
            cut_field(line, column + 2, 6, &field, &width);
            if (!field_is_blank(field, width)) {
                return malformed(r, line->number, "an atom count of the formula (columns 11-50) is not a number");
            }
            amount = 0.0;
        }
        if (amount == 0.0) {
            continue;  // an unused pair, whatever its symbol columns hold
        }
        const char *symbol = nullptr;
        std::size_t width = 0;
        cut_field(line, column, 2, &symbol, &width);
        char text[3] = {0, 0, 0};
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
        for (int e = 0; e < record->element_count; ++e) {
            if (std::strcmp(record->element_symbols[e], text) == 0) {
                record->element_amounts[e] += amount;
                merged = 1;
            }
        }
        if (!merged) {
            std::memcpy(record->element_symbols[record->element_count], text, sizeof text);
            record->element_amounts[record->element_count] = amount;
            ++record->element_count;
        }
    }
    if (record->element_count == 0) {
        return malformed(r, line->number, "the formula (columns 11-50) names no element");
    }
    int phase = 0;
    if (!read_integer(line, 51, 2, -99, 99, &phase)) {
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

static int read_interval(const reader *r, line_cursor *cursor, const species_record *record, thermo_interval *out)
{
    line_view line;
    if (!next_data_line(cursor, &line, 0)) {
        return truncated(r, cursor->line_number, "inside a temperature interval");
    }
    if (!read_number(&line, 1, 11, &out->t_low_k) || !read_number(&line, 12, 11, &out->t_high_k) ||
        !(out->t_low_k > 0.0) || !(out->t_high_k > out->t_low_k)) {
        return malformed(r, line.number, "the temperature interval (columns 1-22) must be two increasing positive numbers");
    }
    int coefficient_count = 0;
    if (!read_integer(&line, 23, 1, 0, 9, &coefficient_count) || coefficient_count != fit_coefficient_count) {
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
    if (!next_data_line(cursor, &line, 0)) {
        return truncated(r, cursor->line_number, "inside a temperature interval");
    }
    for (int i = 0; i < 5; ++i) {
        if (!read_number(&line, 1 + 16 * i, 16, &out->a[i])) {
            return malformed(r, line.number, "a coefficient a1-a5 (five fields of 16 columns) is not a number");
        }
    }
    if (!next_data_line(cursor, &line, 0)) {
        return truncated(r, cursor->line_number, "inside a temperature interval");
    }
    if (!read_number(&line, 1, 16, &out->a[5]) || !read_number(&line, 17, 16, &out->a[6])) {
        return malformed(r, line.number, "a coefficient a6-a7 (columns 1-32) is not a number");
    }
    if (!read_number(&line, 49, 16, &out->b[0]) || !read_number(&line, 65, 16, &out->b[1])) {
        return malformed(r, line.number, "an integration constant b1-b2 (columns 49-80) is not a number");
    }
    (void)record;
    return CEA_OK;
}

static int read_record(const reader *r, line_cursor *cursor, const line_view *name_line, int product,
                       thermo_database *database)
{
    species_record record;
    std::memset(&record, 0, sizeof record);
    record.product = product;
    record.line_number = name_line->number;
    std::size_t n = 0;
    while (n < name_line->length && n < static_cast<std::size_t>(species_name_capacity) &&
           name_line->text[n] != ' ' && name_line->text[n] != '\t' && name_line->text[n] != '\0') {
        record.name[n] = name_line->text[n];
        ++n;
    }
    record.name[n] = '\0';
    if (n == 0) {
        return malformed(r, name_line->number, "a species name must begin in column 1");
    }
    line_view line;
    if (!next_data_line(cursor, &line, 0)) {
        return truncated(r, cursor->line_number, "inside a species record");
    }
    int status = read_record_header(r, &line, &record);
    if (status != CEA_OK) {
        return status;
    }
    if (record.interval_count == 0) {
        if (!next_data_line(cursor, &line, 0)) {
            return truncated(r, cursor->line_number, "inside a species record");
        }
        if (!read_number(&line, 1, 11, &record.assigned_temperature_k) || !(record.assigned_temperature_k > 0.0)) {
            return malformed(r, line.number, "the temperature of the assigned enthalpy (columns 1-11) is not a positive number");
        }
        (void)assigned_enthalpy_line_count;
    } else {
        record.first_interval = static_cast<int>(database->intervals.size());
        for (int i = 0; i < record.interval_count; ++i) {
            thermo_interval interval;
            status = read_interval(r, cursor, &record, &interval);
            if (status != CEA_OK) {
                return status;
            }
            if (i > 0 && interval.t_low_k < database->intervals.back().t_high_k) {
                return malformed(r, cursor->line_number - lines_per_interval + 1,
                                 "temperature intervals must follow one another in increasing order");
            }
            database->intervals.push_back(interval);
        }
    }
    // A condensed substance with a transition inside one phase (Co(b), Fe(a))
    // has consecutive records of the same name, one per temperature range:
    // all of them are phases for equilibrium, and a lookup by name finds the
    // first.
    int index = static_cast<int>(database->species.size());
    database->index_by_name.emplace(record.name, index);
    database->species.push_back(record);
    return CEA_OK;
}

int parse_thermo_text(const char *text, std::size_t length, const char *source, thermo_database *database,
                      failure *error)
{
    reader r = {source != nullptr ? source : "(memory)", error};
    database->species.clear();
    database->intervals.clear();
    database->index_by_name.clear();
    // About 600 bytes of text per record in the distributed file.
    database->species.reserve(length / 500 + 1);
    database->intervals.reserve(length / 200 + 1);
    database->index_by_name.reserve(length / 500 + 1);

    line_cursor cursor = {text, length, 0, 0};
    line_view line;
    for (;;) {
        if (!next_data_line(&cursor, &line, 1)) {
            if (cursor.line_number == 0) {
                return fail(error, CEA_MALFORMED_DATABASE, "malformed thermodynamic database %s: the file is empty",
                            r.source);
            }
            return truncated(&r, cursor.line_number, "without a line that begins with 'thermo'");
        }
        if (starts_with(&line, "thermo")) {
            break;
        }
        return malformed(&r, line.number, "expected the line that begins with 'thermo'");
    }
    if (!next_data_line(&cursor, &line, 1)) {
        return truncated(&r, cursor.line_number, "before the common temperature bounds");
    }
    double bounds[4];
    for (int i = 0; i < 4; ++i) {
        if (!read_number(&line, 1 + 10 * i, 10, &bounds[i]) || (i > 0 && !(bounds[i] > bounds[i - 1]))) {
            return malformed(&r, line.number, "the common temperature bounds (four fields of 10 columns) must increase");
        }
    }
    int product = 1;
    for (;;) {
        if (!next_data_line(&cursor, &line, 1)) {
            return truncated(&r, cursor.line_number, product ? "before END PRODUCTS" : "before END REACTANTS");
        }
        if (starts_with(&line, "END PRODUCTS")) {
            if (!product) {
                return malformed(&r, line.number, "a second END PRODUCTS");
            }
            product = 0;
            continue;
        }
        if (starts_with(&line, "END REACTANTS")) {
            if (product) {
                return malformed(&r, line.number, "END REACTANTS before END PRODUCTS");
            }
            return CEA_OK;
        }
        int status = read_record(&r, &cursor, &line, product, database);
        if (status != CEA_OK) {
            return status;
        }
    }
}

int load_thermo_file(const char *path, thermo_database *database, failure *error)
{
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr) {
        return fail(error, CEA_INVALID_FILENAME, "cannot open the thermodynamic database %s", path);
    }
    // The whole file in one buffer, grown by doubling when its size was not
    // known up front; new char[] leaves it uninitialised, as it is about to
    // be overwritten.
    std::size_t capacity = read_chunk_bytes;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        // A directory or a device reports a size that is not one; such a
        // size only serves as a first guess, up to a bound.
        long size = std::ftell(file);
        if (size > 0 && static_cast<unsigned long>(size) < max_size_guess_bytes) {
            capacity = static_cast<std::size_t>(size) + 1;
        }
        std::rewind(file);
    }
    std::unique_ptr<char[]> text(new char[capacity]);
    std::size_t used = 0;
    for (;;) {
        if (used == capacity) {
            std::unique_ptr<char[]> larger(new char[capacity * 2]);
            std::memcpy(larger.get(), text.get(), used);
            text = std::move(larger);
            capacity *= 2;
        }
        std::size_t got = std::fread(text.get() + used, 1, capacity - used, file);
        used += got;
        if (got == 0) {
            break;
        }
    }
    int read_failed = std::ferror(file);
    std::fclose(file);
    if (read_failed) {
        return fail(error, CEA_INVALID_FILENAME, "cannot read the thermodynamic database %s", path);
    }
    return parse_thermo_text(text.get(), used, path, database, error);
}

int find_species(const thermo_database *database, const char *name)
{
    auto found = database->index_by_name.find(name);
    return found == database->index_by_name.end() ? -1 : found->second;
}

}  // namespace cea_impl
