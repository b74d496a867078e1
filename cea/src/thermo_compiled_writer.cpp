// The compiler of the text database. The text reader reads and checks the
// text; this module is told of each record it accepts, with its lines, and
// writes the record's compiled form, taking from the lines only what the
// reader does not keep (dates, the formula pairs as written, the phase) and
// reading those through the same field conversions. A gas lands in the
// coefficient set of its interval's position; a product gas without a third
// interval gets one made up from its second (below), and condensed records
// are numbered across the file as the form prescribes.
#include "thermo_compiled_writer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "thermo_compiled_format.h"
#include "thermo_line_reader.h"
#include "thermo_text_reader.h"

namespace cea_impl {

// The compiled form holds Air with these four atom counts in place of the
// text's rounded ones, and the electron with this molecular weight.
static const char air_name[] = "Air";
static const char air_symbols[4][3] = {"N ", "O ", "AR", "C "};
static const double air_amounts[4] = {1.56168, 0.41959, 0.009365, 0.000319};
static const char electron_name[] = "e-";
static const double electron_molecular_weight_kg_kmol = 5.48579903e-4;

// A gas whose data reach within this of the last common bound is marked.
static const double full_range_margin_k = 0.01;
// The made-up third set: its cp/R runs straight from the second set's at
// the second set's upper bound to a limit reached at this temperature.
static const double limit_temperature_k = 1.0e6;

void release_byte_buffer(byte_buffer *buffer)
{
    std::free(buffer->data);
    buffer->data = nullptr;
    buffer->length = 0;
    buffer->capacity = 0;
}

// Room for `more` bytes at the end, zeroed; null when memory is out.
static unsigned char *grow(byte_buffer *b, std::size_t more)
{
    if (b->capacity - b->length < more) {
        std::size_t capacity = b->capacity * 2 > b->length + more ? b->capacity * 2 : b->length + more + 65536;
        unsigned char *data = static_cast<unsigned char *>(std::realloc(b->data, capacity));
        if (data == nullptr) {
            return nullptr;
        }
        b->data = data;
        b->capacity = capacity;
    }
    unsigned char *at = b->data + b->length;
    std::memset(at, 0, more);
    b->length += more;
    return at;
}

struct compiler {
    const char *source;
    double bounds[compiled_bound_count];
    char date[compiled_header_date_bytes];
    byte_buffer gases;
    byte_buffer condensed;
    byte_buffer reactants; // entries and their fits
    int gas_count;
    int condensed_count;
    int entry_count;
    // The running number of condensed records: the phase of the species
    // with intervals before, and the number given last.
    int last_phase;
    int last_number;
};

static int refuse(const compiler *c, failure *error, int line_number, const char *what)
{
    return fail(error, CEA_MALFORMED_DATABASE, "malformed thermodynamic database %s: line %d: cannot be compiled: %s",
                c->source, line_number, what);
}

static int out_of_memory(const compiler *c, failure *error)
{
    return fail(error, CEA_OUT_OF_MEMORY, "thermodynamic database %s: out of memory", c->source);
}

// Columns of a line, blank-padded to `width` bytes.
static void copy_columns(const line_view *line, int first_column, int width, unsigned char *out)
{
    const char *field = nullptr;
    std::size_t n = 0;
    cut_field(line, first_column, width, &field, &n);
    std::memset(out, ' ', static_cast<std::size_t>(width));
    std::memcpy(out, field, n);
}

// A number field that may be blank (then 0). 0 when it is neither.
static int read_optional_number(const line_view *line, int first_column, int width, double *value)
{
    const char *field = nullptr;
    std::size_t n = 0;
    cut_field(line, first_column, width, &field, &n);
    if (field_is_blank(field, n)) {
        *value = 0.0;
        return 1;
    }
    return read_number(line, first_column, width, value);
}

static int bounds_line(void *context, const line_view *line, failure *error)
{
    compiler *c = static_cast<compiler *>(context);
    for (int i = 0; i < compiled_bound_count; ++i) {
        read_number(line, 1 + 10 * i, 10, &c->bounds[i]); // read as numbers by the text reader
        // The compiled reader takes the gas intervals from these, and
        // refuses bounds that the text reader lets pass, such as a zero.
        if (!(c->bounds[i] > 0.0) || !std::isfinite(c->bounds[i]) || (i > 0 && !(c->bounds[i] > c->bounds[i - 1]))) {
            return refuse(c, error, line->number,
                          "the common temperature bounds must be positive, finite and increasing");
        }
    }
    copy_columns(line, 41, static_cast<int>(compiled_header_date_bytes), reinterpret_cast<unsigned char *>(c->date));
    return CEA_OK;
}

static void store_set(unsigned char *p, const thermo_interval *in)
{
    for (int i = 0; i < fit_coefficient_count; ++i) {
        store_f64(p + 8 * static_cast<std::ptrdiff_t>(i), in->a[i]);
    }
    for (int i = 0; i < fit_integration_constant_count; ++i) {
        store_f64(p + 8 * static_cast<std::ptrdiff_t>(fit_coefficient_count + i), in->b[i]);
    }
}

// The third coefficient set of a product gas whose text has none, from the
// second set a (a1..a7, b1, b2) at t_k, its upper bound: cp/R a straight
// line in T from the second set's value at t_k to a limit at 1e6 K that
// depends on the atoms per molecule, with b1 and b2 keeping H and S
// continuous at t_k. The operations and their order are those of the form.
static void make_up_third_set(const double *a, double t_k, double atoms, double *out)
{
    double cp_limit = atoms <= 1.9 ? 2.5 : atoms <= 2.1 ? 4.5 : 3.0 * atoms - 1.75;
    double log_t = std::log(t_k);
    double powers[7]; // T^p at p + 2
    powers[4] = t_k * t_k;
    powers[5] = t_k * powers[4];
    powers[6] = powers[4] * powers[4];
    powers[3] = t_k;
    powers[1] = 1.0 / t_k;
    powers[0] = 1.0 / powers[4];
    double cp = 0.0;
    double h = 0.0;
    double s = 0.0;
    for (int p = 4; p >= -2; --p) {
        double coefficient = a[p + 2];
        if (p == 0) {
            cp += coefficient;
            h += coefficient;
            s += coefficient * log_t;
        } else if (p == -1) {
            cp += coefficient * powers[1];
            s += (coefficient * powers[1]) / -1.0;
            h += (coefficient * log_t) / t_k;
        } else {
            double term = coefficient * powers[p + 2];
            cp += term;
            s += term / static_cast<double>(p);
            h += term / static_cast<double>(p + 1);
        }
    }
    double slope = (cp - cp_limit) / (t_k - limit_temperature_k);
    double intercept = cp - t_k * slope;
    std::memset(out, 0, compiled_set_doubles * sizeof(double));
    out[2] = intercept;
    out[3] = slope;
    out[7] = a[7] + t_k * ((h - intercept) - (0.5 * slope) * t_k);
    out[8] = ((-(intercept * log_t) + a[8]) + s) - slope * t_k;
}

// Atoms per molecule for the made-up set: the counts from the first pair up
// to a blank symbol or the electron.
static double atoms_per_molecule(const unsigned char *common)
{
    double atoms = 0.0;
    for (std::size_t pair = 0; pair < static_cast<std::size_t>(formula_pair_count); ++pair) {
        const unsigned char *at = common + compiled_pairs_at + compiled_pair_bytes * pair;
        if ((at[0] == ' ' && at[1] == ' ') || (at[0] == 'E' && at[1] == ' ')) {
            break;
        }
        atoms += load_f64(at + 2);
    }
    return atoms;
}

// The first 103 bytes of every compiled species record, less the phase and
// the temperatures, which depend on the kind of record.
static int write_common(const compiler *c, const species_record *record, const line_view *name_line,
                        const line_view *line2, unsigned char *out, failure *error)
{
    copy_columns(name_line, 1, static_cast<int>(compiled_name_bytes), out + compiled_name_at);
    store_i32(out + compiled_interval_count_at, record->interval_count);
    copy_columns(line2, 4, static_cast<int>(compiled_date_bytes), out + compiled_date_at);
    int air = std::strcmp(record_name(record), air_name) == 0 && record->interval_count > 0;
    for (int pair = 0; pair < formula_pair_count; ++pair) {
        unsigned char *at = out + compiled_pairs_at + compiled_pair_bytes * static_cast<std::size_t>(pair);
        double amount = 0.0;
        if (air && pair < 4) {
            std::memcpy(at, air_symbols[pair], 2);
            amount = air_amounts[pair];
        } else {
            copy_columns(line2, 11 + 8 * pair, 2, at);
            if (!read_optional_number(line2, 13 + 8 * pair, 6, &amount)) {
                return refuse(c, error, line2->number, "an atom count is not a number");
            }
        }
        store_f64(at + 2, amount);
    }
    double weight = record->molecular_weight_kg_kmol;
    if (std::strcmp(record_name(record), electron_name) == 0 && record->interval_count > 0) {
        weight = electron_molecular_weight_kg_kmol;
    }
    store_f64(out + compiled_molecular_weight_at, weight);
    return CEA_OK;
}

static void set_phase_and_range(unsigned char *common, int phase, double t_low_k, double t_high_k)
{
    store_i32(common + compiled_phase_at, phase);
    store_f64(common + compiled_t_low_at, t_low_k);
    store_f64(common + compiled_t_high_at, t_high_k);
}

// A reactant entry (common part and `value`) with its fits (`sets`, or
// none).
static int write_entry(compiler *c, const unsigned char *common, double value, const unsigned char *sets,
                       failure *error)
{
    std::size_t size = compiled_reactant_bytes + 2 * compiled_marker_bytes;
    if (sets != nullptr) {
        size += compiled_fits_bytes + 2 * compiled_marker_bytes;
    }
    unsigned char *at = grow(&c->reactants, size);
    if (at == nullptr) {
        return out_of_memory(c, error);
    }
    store_i32(at, static_cast<std::int32_t>(compiled_reactant_bytes));
    std::memcpy(at + compiled_marker_bytes, common, compiled_tail_at);
    store_f64(at + compiled_marker_bytes + compiled_tail_at, value);
    store_i32(at + compiled_marker_bytes + compiled_reactant_bytes, static_cast<std::int32_t>(compiled_reactant_bytes));
    if (sets != nullptr) {
        unsigned char *fits = at + compiled_reactant_bytes + 2 * compiled_marker_bytes;
        store_i32(fits, static_cast<std::int32_t>(compiled_fits_bytes));
        std::memcpy(fits + compiled_marker_bytes, sets, compiled_fits_bytes);
        store_i32(fits + compiled_marker_bytes + compiled_fits_bytes, static_cast<std::int32_t>(compiled_fits_bytes));
    }
    ++c->entry_count;
    return CEA_OK;
}

// A record of products with `payload` bytes (common part and sets).
static int write_product(compiler *c, byte_buffer *to, const unsigned char *payload, std::size_t size, failure *error)
{
    unsigned char *at = grow(to, size + 2 * compiled_marker_bytes);
    if (at == nullptr) {
        return out_of_memory(c, error);
    }
    store_i32(at, static_cast<std::int32_t>(size));
    std::memcpy(at + compiled_marker_bytes, payload, size);
    store_i32(at + compiled_marker_bytes + size, static_cast<std::int32_t>(size));
    return CEA_OK;
}

static int write_gas(compiler *c, const species_record *record, unsigned char *payload, failure *error)
{
    if (record->interval_count > compiled_gas_sets) {
        return refuse(c, error, record->line_number, "a gas has more than three temperature intervals");
    }
    const thermo_interval *intervals = record_intervals(record);
    unsigned char *sets = payload + compiled_tail_at;
    int phase = 0;
    int filled[compiled_gas_sets] = {0, 0, 0};
    for (int j = 0; j < record->interval_count; ++j) {
        if (intervals[j].t_high_k > c->bounds[3] - full_range_margin_k) {
            phase = -1;
        }
        // By position: the j-th interval is the j-th set unless it starts
        // past that set's range.
        if (!(intervals[j].t_low_k >= c->bounds[j + 1])) {
            store_set(sets + compiled_set_bytes * static_cast<std::size_t>(j), &intervals[j]);
            filled[j] = 1;
        }
    }
    const thermo_interval *last = &intervals[record->interval_count - 1];
    set_phase_and_range(payload, phase, last->t_low_k, last->t_high_k);
    if (phase == -1 && std::strlen(record_name(record)) >= compiled_name_bytes) {
        return refuse(c, error, record->line_number,
                      "the name of a gas that reaches the last bound has more than 14 characters");
    }
    if (phase == -1) {
        std::memmove(payload + 1, payload, compiled_name_bytes - 1);
        payload[0] = static_cast<unsigned char>(compiled_full_range_mark);
    }
    c->last_phase = phase;
    c->last_number = 0;
    if (!record->product) {
        return write_entry(c, payload, load_f64(sets), sets, error);
    }
    if (!filled[2]) {
        double second[compiled_set_doubles];
        double third[compiled_set_doubles];
        for (int i = 0; i < compiled_set_doubles; ++i) {
            second[i] = load_f64(sets + compiled_set_bytes + 8 * static_cast<std::size_t>(i));
        }
        make_up_third_set(second, last->t_high_k, atoms_per_molecule(payload), third);
        for (int i = 0; i < compiled_set_doubles; ++i) {
            store_f64(sets + 2 * compiled_set_bytes + 8 * static_cast<std::size_t>(i), third[i]);
        }
    }
    ++c->gas_count;
    return write_product(c, &c->gases, payload, compiled_gas_bytes, error);
}

static int write_condensed(compiler *c, const species_record *record, int text_phase, unsigned char *payload,
                           failure *error)
{
    const thermo_interval *intervals = record_intervals(record);
    for (int j = 0; j < record->interval_count; ++j) {
        int number = text_phase > c->last_phase ? c->last_number + 1 : j + 1;
        c->last_number = number;
        set_phase_and_range(payload, number, intervals[j].t_low_k, intervals[j].t_high_k);
        int status = CEA_OK;
        if (record->product) {
            store_set(payload + compiled_tail_at, &intervals[j]);
            status = write_product(c, &c->condensed, payload, compiled_condensed_bytes, error);
            ++c->condensed_count;
        } else {
            unsigned char sets[compiled_fits_bytes] = {};
            store_set(sets, &intervals[j]);
            status = write_entry(c, payload, intervals[j].a[0], sets, error);
        }
        if (status != CEA_OK) {
            return status;
        }
    }
    c->last_phase = text_phase;
    return CEA_OK;
}

static int record_lines(void *context, const species_record *record, const line_view *name_line, const line_view *line2,
                        const line_view *line3, failure *error)
{
    compiler *c = static_cast<compiler *>(context);
    if (std::strlen(record_name(record)) > compiled_name_bytes) {
        return refuse(c, error, name_line->number, "the species name has more than 15 characters");
    }
    const char *columns = nullptr;
    std::size_t width = 0;
    cut_field(name_line, 1, static_cast<int>(compiled_name_bytes), &columns, &width);
    for (std::size_t i = 0; i < width; ++i) {
        if (columns[i] < 0x20 || columns[i] > 0x7e) {
            return refuse(c, error, name_line->number, "columns 1-15 hold a byte that is not printable text");
        }
    }
    if (record_name(record)[0] == compiled_full_range_mark) {
        return refuse(c, error, name_line->number, "a species name begins with '*'");
    }
    double phase_value = 0.0;
    read_number(line2, 51, 2, &phase_value); // an integer, checked by the reader
    int text_phase = static_cast<int>(phase_value);
    if (text_phase < 0) {
        return refuse(c, error, line2->number, "the phase (columns 51-52) is negative");
    }
    unsigned char payload[compiled_gas_bytes] = {};
    int status = write_common(c, record, name_line, line2, payload, error);
    if (status != CEA_OK) {
        return status;
    }
    if (record->interval_count == 0) {
        if (record->product) {
            return refuse(c, error, name_line->number, "a species without temperature intervals among the products");
        }
        double second_temperature_k = 0.0;
        if (!read_optional_number(line3, 12, 11, &second_temperature_k)) {
            return refuse(c, error, line3->number, "columns 12-22 are not a number");
        }
        set_phase_and_range(payload, text_phase, record->assigned_temperature_k, second_temperature_k);
        return write_entry(c, payload, record->enthalpy_j_mol, nullptr, error);
    }
    if (text_phase == 0 && record->product && c->condensed_count > 0) {
        // The compiled form puts the gases first, which would reorder them.
        return refuse(c, error, name_line->number, "a gas after a condensed record of the products part");
    }
    return text_phase == 0 ? write_gas(c, record, payload, error)
                           : write_condensed(c, record, text_phase, payload, error);
}

static int assemble(compiler *c, byte_buffer *out, failure *error)
{
    std::size_t total =
        compiled_header_bytes + 2 * compiled_marker_bytes + c->gases.length + c->condensed.length + c->reactants.length;
    unsigned char *at = grow(out, total);
    if (at == nullptr) {
        return out_of_memory(c, error);
    }
    unsigned char header[compiled_header_bytes];
    for (int i = 0; i < compiled_bound_count; ++i) {
        store_f64(header + compiled_bounds_at + 8 * static_cast<std::size_t>(i), c->bounds[i]);
    }
    store_i32(header + compiled_gas_count_at, c->gas_count);
    store_i32(header + compiled_product_count_at, c->gas_count + c->condensed_count);
    store_i32(header + compiled_record_count_at, c->gas_count + c->condensed_count + c->entry_count);
    std::memcpy(header + compiled_header_date_at, c->date, compiled_header_date_bytes);
    store_i32(at, static_cast<std::int32_t>(compiled_header_bytes));
    std::memcpy(at + compiled_marker_bytes, header, compiled_header_bytes);
    store_i32(at + compiled_marker_bytes + compiled_header_bytes, static_cast<std::int32_t>(compiled_header_bytes));
    at += compiled_header_bytes + 2 * compiled_marker_bytes;
    const byte_buffer *parts[3] = {&c->gases, &c->condensed, &c->reactants};
    for (const byte_buffer *part : parts) {
        if (part->length > 0) {
            std::memcpy(at, part->data, part->length);
            at += part->length;
        }
    }
    return CEA_OK;
}

int compile_thermo_text(const char *text, std::size_t length, const char *source, byte_buffer *out, failure *error)
{
    compiler c = compiler();
    c.source = source != nullptr ? source : "(memory)";
    thermo_text_listener listener = {&c, bounds_line, record_lines};
    thermo_database database;
    int status = parse_thermo_text_listened(text, length, c.source, &listener, &database, error);
    if (status == CEA_OK) {
        release_thermo_database(&database);
        status = assemble(&c, out, error);
    }
    release_byte_buffer(&c.gases);
    release_byte_buffer(&c.condensed);
    release_byte_buffer(&c.reactants);
    if (status != CEA_OK) {
        release_byte_buffer(out);
    }
    return status;
}

} // namespace cea_impl
