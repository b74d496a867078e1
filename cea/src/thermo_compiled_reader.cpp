// The reader of the compiled database. Every byte it uses is checked: the
// framing of each record, the counts of the header against the records
// that follow, each record's size for its place, names, finite numbers and
// ordered intervals. A species is rebuilt as the text reader builds it: a
// gas takes its coefficient sets over the common bounds of the header (the
// compiled form keeps no other ranges for gases), and a condensed species
// gathers the records of its intervals, which follow one another.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include "thermo_compiled_format.h"
#include "thermo_compiled_scan.h"
#include "thermo_database_build.h"

namespace cea_impl {

struct compiled_reader {
    const unsigned char *bytes;
    std::size_t length;
    std::size_t at;     // the next record's marker
    std::size_t record; // its offset, for messages
    int record_number;  // 1-based, the header first
    // The record that holds the common part of the species being read (of
    // a reactant entry, not the fits after it), for messages about that part.
    std::size_t entry;
    int entry_number;
    const char *source;
    failure *error;
    double bounds[compiled_bound_count];
    char *out;             // where the species being read is built (max_record_bytes, aligned)
    std::size_t out_bytes; // what its record took
    std::size_t out_name_length;
};

static int refuse_at(const compiled_reader *r, int number, std::size_t offset, const char *what)
{
    return fail(r->error, CEA_MALFORMED_DATABASE, "malformed thermodynamic database %s: record %d at byte %zu: %s",
                r->source, number, offset, what);
}

static int refuse(const compiled_reader *r, const char *what)
{
    return refuse_at(r, r->record_number, r->record, what);
}

// A fault of the species' common part, named by the record that holds it.
static int refuse_entry(const compiled_reader *r, const char *what)
{
    return refuse_at(r, r->entry_number, r->entry, what);
}

// The next record, which must be of `size` bytes: *payload points at it.
static int next_record(compiled_reader *r, std::size_t size, const char *kind, const unsigned char **payload)
{
    r->record = r->at;
    ++r->record_number;
    *payload = r->bytes + r->at; // where the record would begin, also when it is refused
    if (r->at == r->length) {
        return fail(r->error, CEA_MALFORMED_DATABASE,
                    "malformed thermodynamic database %s: record %d at byte %zu: the file ends where %s should begin",
                    r->source, r->record_number, r->record, kind);
    }
    if (r->length - r->at < compiled_marker_bytes) {
        return refuse(r, "the file ends inside the record's length marker");
    }
    std::int32_t n = load_i32(r->bytes + r->at);
    if (n < 0 || static_cast<std::size_t>(n) != size) {
        return fail(r->error, CEA_MALFORMED_DATABASE,
                    "malformed thermodynamic database %s: record %d at byte %zu: %s has %zu bytes, the length marker "
                    "says %d",
                    r->source, r->record_number, r->record, kind, size, static_cast<int>(n));
    }
    if (r->length - r->at - compiled_marker_bytes < size + compiled_marker_bytes) {
        return refuse(r, "the file ends inside the record");
    }
    if (load_i32(r->bytes + r->at + compiled_marker_bytes + size) != n) {
        return refuse(r, "the length markers before and after the record differ");
    }
    *payload = r->bytes + r->at + compiled_marker_bytes;
    r->at += size + 2 * compiled_marker_bytes;
    return CEA_OK;
}

// The next record, which begins a species or one of its intervals.
static int next_species_record(compiled_reader *r, std::size_t size, const char *kind, const unsigned char **payload)
{
    int status = next_record(r, size, kind, payload);
    r->entry = r->record;
    r->entry_number = r->record_number;
    return status;
}

// 1 when the `count` doubles at p are all finite: none has the exponent
// of an infinity or a NaN (checked together, without a branch each).
static int all_finite(const unsigned char *p, int count)
{
    static const std::uint64_t exponent_bits = 0x7ff0000000000000u;
    std::uint64_t non_finite = 0;
    for (int i = 0; i < count; ++i) {
        double v = load_f64(p + 8 * static_cast<std::ptrdiff_t>(i));
        std::uint64_t u = 0;
        std::memcpy(&u, &v, sizeof u);
        non_finite |= static_cast<std::uint64_t>((u & exponent_bits) == exponent_bits);
    }
    return non_finite == 0;
}

// A coefficient set: a1..a7 then b1 and b2, as the interval holds them.
static_assert(sizeof(thermo_interval::a) + sizeof(thermo_interval::b) == compiled_set_bytes &&
                  offsetof(thermo_interval, b) == offsetof(thermo_interval, a) + sizeof(thermo_interval::a),
              "an interval's coefficients lie as a set of the file");

static void load_set(const unsigned char *p, thermo_interval *out)
{
    if (compiled_host_order) {
        std::memcpy(out->a, p, compiled_set_bytes);
        return;
    }
    for (int i = 0; i < fit_coefficient_count; ++i) {
        out->a[i] = load_f64(p + 8 * static_cast<std::ptrdiff_t>(i));
    }
    for (int i = 0; i < fit_integration_constant_count; ++i) {
        out->b[i] = load_f64(p + 8 * static_cast<std::ptrdiff_t>(fit_coefficient_count + i));
    }
}

static int is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The part every species record begins with: the name (less a gas's mark),
// the formula, the molecular weight; *phase and *interval_count as stored.
static int read_common(const compiled_reader *r, const unsigned char *p, int gas, species_record *record, formula *f,
                       char *name, std::size_t *name_length, int *phase, int *interval_count)
{
    *interval_count = load_i32(p + compiled_interval_count_at);
    *phase = load_i32(p + compiled_phase_at);
    unsigned unprintable = 0;
    for (std::size_t i = 0; i < compiled_name_bytes; ++i) {
        unprintable |= static_cast<unsigned>(p[i] < 0x20 || p[i] > 0x7e);
    }
    if (unprintable != 0) {
        return refuse_entry(r, "the name holds a byte that is not printable text");
    }
    std::size_t from = 0;
    if (gas && p[0] == compiled_full_range_mark) {
        from = 1;
    }
    if (gas && (*phase == -1) != (from == 1)) {
        return refuse_entry(r, "a gas must be marked '*' exactly when its phase is -1");
    }
    std::size_t n = 0;
    while (from + n < compiled_name_bytes && p[from + n] != ' ') {
        name[n] = static_cast<char>(p[from + n]);
        ++n;
    }
    if (n == 0) {
        return refuse_entry(r, "the species name is blank");
    }
    *name_length = n;
    f->count = 0;
    for (int pair = 0; pair < formula_pair_count; ++pair) {
        const unsigned char *at = p + compiled_pairs_at + compiled_pair_bytes * static_cast<std::size_t>(pair);
        double amount = load_f64(at + 2);
        if (!std::isfinite(amount)) {
            return refuse_entry(r, "a formula pair is not an element symbol and a finite atom count");
        }
        if (amount == 0.0) {
            continue;
        }
        // The usual shape, a letter and a letter or blank, merged here; any
        // other the general rule reads (or refuses).
        char first = static_cast<char>(at[0]);
        char second = at[1] == ' ' ? '\0' : static_cast<char>(at[1]);
        if (is_letter(first) && (second == '\0' || is_letter(second))) {
            int e = 0;
            while (e < f->count && !(f->symbols[e][0] == first && f->symbols[e][1] == second)) {
                ++e;
            }
            if (e == f->count) {
                f->symbols[e][0] = first;
                f->symbols[e][1] = second;
                f->symbols[e][2] = '\0';
                f->amounts[e] = amount;
                ++f->count;
            } else {
                f->amounts[e] += amount;
            }
        } else if (!add_formula_pair(f, reinterpret_cast<const char *>(at), 2, amount)) {
            return refuse_entry(r, "a formula pair is not an element symbol and a finite atom count");
        }
    }
    if (f->count == 0) {
        return refuse_entry(r, "the formula names no element");
    }
    record->molecular_weight_kg_kmol = load_f64(p + compiled_molecular_weight_at);
    if (!std::isfinite(record->molecular_weight_kg_kmol) || !(record->molecular_weight_kg_kmol > 0.0)) {
        return refuse_entry(r, "the molecular weight is not a positive number");
    }
    if (!all_finite(p + compiled_t_low_at, 2)) {
        return refuse_entry(r, "a temperature is not a finite number");
    }
    record->line_number = r->entry_number;
    return CEA_OK;
}

// A fresh record where the species is built.
static species_record *begin_record(compiled_reader *r, int product)
{
    species_record *record = reinterpret_cast<species_record *>(r->out);
    std::memset(record, 0, sizeof *record);
    record->product = static_cast<unsigned char>(product);
    return record;
}

static void end_record(compiled_reader *r, species_record *record, const formula *f, const char *name,
                       std::size_t name_length)
{
    r->out_bytes = finish_record(record, f, name, name_length);
    r->out_name_length = name_length;
}

static int out_of_memory(const compiled_reader *r)
{
    return fail(r->error, CEA_OUT_OF_MEMORY, "thermodynamic database %s: out of memory", r->source);
}

// A gas: its common part at `common`, its coefficient sets at `sets`.
static int read_gas(compiled_reader *r, const unsigned char *common, const unsigned char *sets, int product)
{
    species_record *record = begin_record(r, product);
    formula f = {};
    char name[compiled_name_bytes];
    std::size_t n = 0;
    int phase = 0;
    int count = 0;
    int status = read_common(r, common, 1, record, &f, name, &n, &phase, &count);
    if (status != CEA_OK) {
        return status;
    }
    if (phase != 0 && phase != -1) {
        return refuse_entry(r, "a gas's phase must be 0 or -1");
    }
    if (count < 1 || count > compiled_gas_sets) {
        return refuse_entry(r, "a gas must have 1 to 3 temperature intervals");
    }
    if (!all_finite(sets, compiled_gas_sets * compiled_set_doubles)) {
        return refuse(r, "a coefficient is not a finite number");
    }
    // As many sets as the text had intervals, over the common bounds. A
    // product gas with two has a third set, which the compiler made up as
    // an extrapolation of the second: it is no data, and is left out, so
    // that the gas has data where the text gives them.
    record->interval_count = static_cast<unsigned char>(count);
    thermo_interval *intervals = reinterpret_cast<thermo_interval *>(record + 1);
    for (int i = 0; i < record->interval_count; ++i) {
        intervals[i].t_low_k = r->bounds[i];
        intervals[i].t_high_k = r->bounds[i + 1];
        load_set(sets + compiled_set_bytes * static_cast<std::size_t>(i), &intervals[i]);
    }
    end_record(r, record, &f, name, n);
    return CEA_OK;
}

// One interval of a condensed species from the record of it at `common`
// (its coefficients at `set`): the first opens the record, the others must
// repeat its name, formula and interval count and follow its last interval.
static int read_condensed_interval(compiled_reader *r, const unsigned char *common, const unsigned char *set,
                                   const unsigned char *first, species_record **record, int product, int index)
{
    if (index == 0) {
        *record = begin_record(r, product);
    } else if (std::memcmp(common, first, compiled_phase_at) != 0 ||
               std::memcmp(common + compiled_molecular_weight_at, first + compiled_molecular_weight_at, 8) != 0) {
        return refuse_entry(r, "an interval of a condensed species differs from its first in name, formula or weight");
    }
    if (load_i32(common + compiled_phase_at) < 1) {
        return refuse_entry(r, "a condensed record's phase must be 1 or more");
    }
    if (!all_finite(common + compiled_t_low_at, 2)) {
        return refuse_entry(r, "a temperature is not a finite number");
    }
    thermo_interval *in = reinterpret_cast<thermo_interval *>(*record + 1) + index;
    in->t_low_k = load_f64(common + compiled_t_low_at);
    in->t_high_k = load_f64(common + compiled_t_high_at);
    if (!(in->t_low_k > 0.0) || !(in->t_high_k > in->t_low_k) || (index > 0 && in->t_low_k < in[-1].t_high_k)) {
        return refuse_entry(r, "the temperature intervals of a condensed species must be positive and increasing");
    }
    if (!all_finite(set, compiled_set_doubles)) {
        return refuse(r, "a coefficient is not a finite number");
    }
    load_set(set, in);
    return CEA_OK;
}

// The record of fits that follows a reactant entry with intervals.
static int next_fits(compiled_reader *r, const unsigned char **fits)
{
    return next_record(r, compiled_fits_bytes, "the fits of a reactant entry", fits);
}

// A condensed species whose first record is at `first`, its coefficients at
// `first_set`; the records of its other intervals follow (each with its
// fits in the reactant part). At most `remaining` records are left for it;
// *used is set to the number it took.
static int read_condensed(compiled_reader *r, const unsigned char *first, const unsigned char *first_set, int product,
                          int remaining, int *used)
{
    species_record *record = nullptr;
    int status = read_condensed_interval(r, first, first_set, first, &record, product, 0);
    formula f = {};
    char name[compiled_name_bytes];
    std::size_t n = 0;
    int phase = 0;
    int count = 0;
    if (status == CEA_OK) {
        status = read_common(r, first, 0, record, &f, name, &n, &phase, &count);
    }
    if (status != CEA_OK) {
        return status;
    }
    if (count < 1 || count > max_interval_count || count > remaining) {
        return refuse_entry(r, "the interval count of a condensed species does not match the records that follow");
    }
    for (int i = 1; i < count; ++i) {
        const unsigned char *p = nullptr;
        const unsigned char *set = nullptr;
        if (product) {
            status = next_species_record(r, compiled_condensed_bytes, "a condensed record", &p);
            set = status == CEA_OK ? p + compiled_tail_at : nullptr;
        } else {
            status = next_species_record(r, compiled_reactant_bytes, "a reactant entry", &p);
            if (status == CEA_OK) {
                status = next_fits(r, &set);
            }
        }
        if (status == CEA_OK) {
            status = read_condensed_interval(r, p, set, first, &record, product, i);
        }
        if (status != CEA_OK) {
            return status;
        }
    }
    record->interval_count = static_cast<unsigned char>(count);
    record->condensed = 1;
    end_record(r, record, &f, name, n);
    *used = count;
    return CEA_OK;
}

// A reactant entry without intervals: an enthalpy assigned at one
// temperature.
static int read_assigned(compiled_reader *r, const unsigned char *p)
{
    species_record *record = begin_record(r, 0);
    formula f = {};
    char name[compiled_name_bytes];
    std::size_t n = 0;
    int phase = 0;
    int count = 0;
    int status = read_common(r, p, 0, record, &f, name, &n, &phase, &count);
    if (status != CEA_OK) {
        return status;
    }
    record->assigned_temperature_k = load_f64(p + compiled_t_low_at);
    record->enthalpy_j_mol = load_f64(p + compiled_tail_at);
    if (!(record->assigned_temperature_k > 0.0)) {
        return refuse_entry(r, "the temperature of the assigned enthalpy is not a positive number");
    }
    if (!std::isfinite(record->enthalpy_j_mol)) {
        return refuse_entry(r, "the assigned enthalpy is not a finite number");
    }
    record->condensed = phase != 0;
    end_record(r, record, &f, name, n);
    return CEA_OK;
}

// The reactant entry at p and what belongs to it; *used is set to the
// number of entries it took.
static int read_reactant(compiled_reader *r, const unsigned char *p, int remaining, int *used)
{
    *used = 1;
    int count = load_i32(p + compiled_interval_count_at);
    if (count == 0) {
        return read_assigned(r, p);
    }
    if (count < 0) {
        return refuse_entry(r, "the interval count is negative");
    }
    const unsigned char *fits = nullptr;
    int status = next_fits(r, &fits);
    if (status != CEA_OK) {
        return status;
    }
    if (load_i32(p + compiled_phase_at) <= 0) {
        return read_gas(r, p, fits, 0);
    }
    return read_condensed(r, p, fits, 0, remaining, used);
}

static int read_header(compiled_reader *r, int *gases, int *products, int *records)
{
    const unsigned char *p = nullptr;
    int status = next_record(r, compiled_header_bytes, "the header", &p);
    if (status != CEA_OK) {
        return status;
    }
    for (int i = 0; i < compiled_bound_count; ++i) {
        r->bounds[i] = load_f64(p + compiled_bounds_at + 8 * static_cast<std::size_t>(i));
        if (!std::isfinite(r->bounds[i]) || !(r->bounds[i] > 0.0) || (i > 0 && !(r->bounds[i] > r->bounds[i - 1]))) {
            return refuse(r, "the common temperature bounds must be positive, finite and increasing");
        }
    }
    *gases = load_i32(p + compiled_gas_count_at);
    *products = load_i32(p + compiled_product_count_at);
    *records = load_i32(p + compiled_record_count_at);
    if (!(0 <= *gases && *gases <= *products && *products <= *records)) {
        return refuse(r, "the header's counts must satisfy 0 <= gases <= products <= records");
    }
    return CEA_OK;
}

// Files larger than this cannot be told by 32-bit offsets.
static const std::size_t max_compiled_bytes = static_cast<std::size_t>(1) << 30;
static_assert(max_compiled_bytes / (compiled_reactant_bytes + 2 * compiled_marker_bytes) < (1u << 24),
              "a directory entry's record number tells every record of a file");
// Every species takes at least a reactant entry of the file.
static const std::size_t min_species_bytes = compiled_reactant_bytes + 2 * compiled_marker_bytes;
// The records built from a file take at most twice its bytes (a gas's 327
// for at most 380), and one being built reserves less than the last term.
static std::size_t records_bound(std::size_t length) { return 2 * length + 4096; }

// A record that stands for one that can no longer be built because the file
// changed under the mapping (it is meant to be replaced by renaming, never
// rewritten in place): no formula, no intervals, no name.
struct inert_species {
    species_record record;
    char name[8];
};
static const inert_species inert = {{1.0, 0.0, 0.0, 0, 0, 0, 0, 0}, {0}};

// The species whose first record is the next one, built at r->out; its
// kind is told by where it lies. *used is set to the records (entries, for
// reactants) it took.
static int read_species(compiled_reader *r, const thermo_database *db, int remaining, int *used)
{
    const unsigned char *p = nullptr;
    *used = 1;
    if (r->at < db->gases_end) {
        int status = next_species_record(r, compiled_gas_bytes, "a gas record", &p);
        return status != CEA_OK ? status : read_gas(r, p, p + compiled_tail_at, 1);
    }
    if (r->at < db->products_end) {
        int status = next_species_record(r, compiled_condensed_bytes, "a condensed record", &p);
        return status != CEA_OK ? status : read_condensed(r, p, p + compiled_tail_at, 1, remaining, used);
    }
    int status = next_species_record(r, compiled_reactant_bytes, "a reactant entry", &p);
    return status != CEA_OK ? status : read_reactant(r, p, remaining, used);
}

// The header's counts in file offsets: where the condensed records and the
// reactant entries begin, as far as the file reaches. The walk below checks
// that the records there are of those kinds.
static void set_sections(thermo_database *db, int gases, int products)
{
    std::size_t gas_bytes = compiled_gas_bytes + 2 * compiled_marker_bytes;
    std::size_t condensed_bytes = compiled_condensed_bytes + 2 * compiled_marker_bytes;
    std::size_t first = compiled_header_bytes + 2 * compiled_marker_bytes;
    std::size_t bound = db->file_length + 1; // past the file: counts that it cannot hold
    std::size_t g = static_cast<std::size_t>(gases);
    std::size_t c = static_cast<std::size_t>(products - gases);
    db->gases_end = g > bound / gas_bytes ? bound : first + g * gas_bytes;
    db->products_end =
        db->gases_end >= bound || c > bound / condensed_bytes ? bound : db->gases_end + c * condensed_bytes;
}

// Sets the element mask of a directory entry from its symbols' codes.
static void enter_elements(element_bits *bits, compiled_species *entry, const unsigned *codes, int count)
{
    std::uint64_t mask = 0;
    unsigned complete = 1;
    for (int e = 0; e < count; ++e) {
        unsigned b = element_bit_of(bits, compiled_element_key(codes[e]));
        complete &= static_cast<unsigned>(b != 0);
        mask |= b != 0 ? std::uint64_t{1} << (b - 1) : 0;
    }
    entry->element_mask = mask;
    entry->mask_complete = complete & 1u;
}

// Every species of the file after its header, each entered in the
// directory and the name index; a species that the quick check does not
// pass is built at r->out, to check it.
static int read_species_records(compiled_reader *r, thermo_database *db, int gases, int products, int records)
{
    compiled_species *directory = reinterpret_cast<compiled_species *>(db->arena + db->directory_at);
    const species_record *scratch = reinterpret_cast<const species_record *>(r->out);
    element_bits bits = {reinterpret_cast<unsigned char *>(db->arena + db->element_bits_at), 0};
    // Records counted so far: products, then reactant entries.
    for (int counted = 0; counted < records;) {
        int part_end = counted < gases ? gases : counted < products ? products : records;
        std::size_t offset = r->at;
        int number = r->record_number + 1;
        compiled_species *entry = &directory[db->species_count];
        entry->offset = static_cast<std::uint32_t>(offset);
        entry->record_number = static_cast<std::uint32_t>(number) & 0xffffffu;
        // Product records of the usual shape pass a quick check; the rest,
        // and any fault, go to the reader that builds the record.
        scanned_species found;
        if (r->at < db->products_end && scan_product_species(r->bytes, r->length, r->at, r->at < db->gases_end,
                                                             part_end - counted, &bits, entry, &found)) {
            r->at = found.next;
            r->record_number += found.records;
            counted += found.records;
            index_compiled_species(db, db->species_count);
            ++db->species_count;
            db->interval_count += found.interval_count;
            continue;
        }
        int used = 0;
        int status = read_species(r, db, part_end - counted, &used);
        if (status != CEA_OK) {
            return status;
        }
        counted += used;
        const species_record *record = scratch;
        unsigned codes[formula_pair_count];
        for (int e = 0; e < record->element_count; ++e) {
            codes[e] = element_symbol_code(record_element_symbol(record, e));
        }
        enter_elements(&bits, entry, codes, record->element_count);
        entry->product = record->product & 1u;
        entry->quick = 0;
        // The name as it stands in the file, or one byte on (a gas's mark).
        const unsigned char *name = r->bytes + offset + compiled_marker_bytes;
        std::size_t name_length = r->out_name_length;
        entry->name_from = std::memcmp(name, record_name(record), name_length) != 0 ? 1u : 0u;
        entry->name_length = static_cast<std::uint32_t>(name_length) & 15u;
        index_compiled_species(db, db->species_count);
        ++db->species_count;
        db->interval_count += record->interval_count;
    }
    if (r->at != r->length) {
        r->record = r->at;
        ++r->record_number;
        return refuse(r, "bytes follow the last record that the header counts");
    }
    return CEA_OK;
}

// Walks every record of the file: each species is built once, to check it,
// and entered in the directory.
static int read_records(compiled_reader *r, thermo_database *db)
{
    int gases = 0;
    int products = 0;
    int records = 0;
    int status = read_header(r, &gases, &products, &records);
    if (status != CEA_OK) {
        return status;
    }
    for (int i = 0; i < compiled_bound_count; ++i) {
        db->common_bounds_k[i] = r->bounds[i];
    }
    set_sections(db, gases, products);
    // The directory, the table of built records (zero: a fresh mapping), the
    // name index and the element symbols' bits (zero: none given), for as many species as the header counts and the
    // file can hold, in one mapping whose pages are made present at once.
    std::size_t capacity = r->length / min_species_bytes + 1;
    if (static_cast<std::size_t>(records) < capacity) {
        capacity = static_cast<std::size_t>(records) + 1;
    }
    std::size_t directory_bytes = align_up(capacity * sizeof(compiled_species));
    // where each species' record is once built
    std::size_t built_bytes = align_up(capacity * sizeof(std::uint32_t));
    std::size_t index_bytes = align_up(compiled_index_bytes(static_cast<int>(capacity)));
    if (!reserve_arena(db, directory_bytes + built_bytes + index_bytes + compiled_element_keys)) {
        return out_of_memory(r);
    }
    prefault_pages(db->arena, db->arena_capacity);
    db->directory_at = db->arena_used;
    db->built_at = db->directory_at + directory_bytes;
    begin_compiled_index(db, db->built_at + built_bytes, static_cast<int>(capacity));
    db->element_bits_at = db->index_at + index_bytes;
    db->arena_used = db->element_bits_at + compiled_element_keys;
    alignas(8) char scratch[max_record_bytes];
    r->out = scratch;
    status = read_species_records(r, db, gases, products, records);
    r->out = nullptr; // the scratch record ends here
    return status;
}

int is_compiled_thermo(const unsigned char *bytes, std::size_t length)
{
    return length >= compiled_marker_bytes && load_i32(bytes) == static_cast<std::int32_t>(compiled_header_bytes);
}

// Reads the file that database->file maps (which it then owns, released or
// not), builds the directory, the table of built records and the index.
static int read_mapped(compiled_reader *r, thermo_database *db)
{
    r->bytes = db->file;
    r->length = db->file_length;
    int status = db->file_length > max_compiled_bytes ? refuse(r, "the file is larger than any database comes near")
                                                      : read_records(r, db);
    if (status == CEA_OK) {
        // Address space only: a page costs something when a record is built on it.
        db->records_capacity = records_bound(db->file_length);
        void *records = mmap(nullptr, db->records_capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (records == MAP_FAILED) {
            db->records_capacity = 0;
            status = out_of_memory(r);
        } else {
            db->records = static_cast<char *>(records);
        }
    }
    if (status != CEA_OK) {
        release_thermo_database(db);
    } else {
        poison_unused(db);
    }
    return status;
}

int parse_thermo_compiled(const unsigned char *bytes, std::size_t length, const char *source, thermo_database *database,
                          failure *error)
{
    compiled_reader r = compiled_reader();
    r.source = source != nullptr ? source : "(memory)";
    r.error = error;
    init_thermo_database(database);
    std::size_t size = bytes != nullptr ? length : 0;
    if (size == 0) {
        const unsigned char *header = nullptr;
        return next_record(&r, compiled_header_bytes, "the header", &header);
    }
    // The database keeps its own copy, as it keeps a file mapped.
    void *copy = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (copy == MAP_FAILED) {
        return out_of_memory(&r);
    }
    std::memcpy(copy, bytes, size);
    database->file = static_cast<const unsigned char *>(copy);
    database->file_length = size;
    return read_mapped(&r, database);
}

int load_compiled_descriptor(int fd, std::size_t length, const char *source, thermo_database *database, failure *error)
{
    compiled_reader r = compiled_reader();
    r.source = source;
    r.error = error;
    init_thermo_database(database);
    // Mapped whole from the page cache: nothing is copied, and no fresh
    // memory is needed for it. Its pages are mapped as the check reads
    // them, many at each fault (the kernel maps those around it); making
    // them all present beforehand (MAP_POPULATE) cost a whole run some
    // 15 us more on a virtual machine.
    void *mapped = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) {
        return fail(error, CEA_INVALID_FILENAME, "cannot read the thermodynamic database %s", source);
    }
    database->file = static_cast<const unsigned char *>(mapped);
    database->file_length = length;
    return read_mapped(&r, database);
}

// The record of a species that passed the quick check, built at `out`
// without checking again what the check has found sound: the same record
// as the full reader builds. Returns the bytes it takes.
static std::size_t build_quick(const thermo_database *db, const compiled_species *s, char *out)
{
    const unsigned char *p = db->file + s->offset + compiled_marker_bytes;
    int gas = s->offset < db->gases_end;
    species_record *record = reinterpret_cast<species_record *>(out);
    std::memset(record, 0, sizeof *record);
    record->product = 1;
    record->condensed = static_cast<unsigned char>(!gas);
    record->molecular_weight_kg_kmol = load_f64(p + compiled_molecular_weight_at);
    record->line_number = static_cast<int>(s->record_number);
    int count = load_i32(p + compiled_interval_count_at);
    record->interval_count = static_cast<unsigned char>(count);
    thermo_interval *intervals = reinterpret_cast<thermo_interval *>(record + 1);
    for (int i = 0; i < count; ++i) {
        if (gas) {
            intervals[i].t_low_k = db->common_bounds_k[i];
            intervals[i].t_high_k = db->common_bounds_k[i + 1];
            load_set(p + compiled_tail_at + compiled_set_bytes * static_cast<std::size_t>(i), &intervals[i]);
        } else {
            const unsigned char *q =
                p + (compiled_condensed_bytes + 2 * compiled_marker_bytes) * static_cast<std::size_t>(i);
            intervals[i].t_low_k = load_f64(q + compiled_t_low_at);
            intervals[i].t_high_k = load_f64(q + compiled_t_high_at);
            load_set(q + compiled_tail_at, &intervals[i]);
        }
    }
    formula f = {};
    for (int pair = 0; pair < formula_pair_count; ++pair) {
        const unsigned char *at = p + compiled_pairs_at + compiled_pair_bytes * static_cast<std::size_t>(pair);
        double amount = load_f64(at + 2);
        if (amount != 0.0) {
            f.symbols[f.count][0] = static_cast<char>(at[0]);
            f.symbols[f.count][1] = at[1] == ' ' ? '\0' : static_cast<char>(at[1]);
            f.symbols[f.count][2] = '\0';
            f.amounts[f.count] = amount;
            ++f.count;
        }
    }
    return finish_record(record, &f, reinterpret_cast<const char *>(p + s->name_from), s->name_length);
}

// The quick check again, as the file may have changed under the mapping
// since it was read: whatever no longer passes goes to the full reader,
// which then builds the record or the inert one. It gives no symbol a bit
// (the table is read only once the database is shared).
static int still_quick(const thermo_database *db, const compiled_species *s)
{
    element_bits bits = {reinterpret_cast<unsigned char *>(db->arena + db->element_bits_at), 64};
    compiled_species entry = {};
    scanned_species found;
    return scan_product_species(db->file, db->file_length, s->offset, s->offset < db->gases_end, max_interval_count,
                                &bits, &entry, &found) &&
           entry.element_mask == s->element_mask && entry.name_from == s->name_from &&
           entry.name_length == s->name_length;
}

const species_record *build_compiled_species(const thermo_database *db, int index)
{
    while (__atomic_exchange_n(&db->building, 1, __ATOMIC_ACQUIRE) != 0) {
        sched_yield();
    }
    std::uint32_t *built = reinterpret_cast<std::uint32_t *>(db->arena + db->built_at);
    std::uint32_t at = __atomic_load_n(&built[index], __ATOMIC_ACQUIRE);
    if (at == 0) {
        const compiled_species *s = &compiled_directory(db)[index];
        compiled_reader r = compiled_reader();
        failure ignored;
        r.bytes = db->file;
        r.length = db->file_length;
        r.at = s->offset;
        r.record_number = static_cast<int>(s->record_number) - 1;
        r.source = "";
        r.error = &ignored;
        for (int i = 0; i < compiled_bound_count; ++i) {
            r.bounds[i] = db->common_bounds_k[i];
        }
        at = compiled_inert_at;
        if (s->quick && db->records_capacity - db->records_used >= max_record_bytes && still_quick(db, s)) {
            at = static_cast<std::uint32_t>(db->records_used + 1);
            db->records_used += build_quick(db, s, db->records + db->records_used);
        } else if (db->records_capacity - db->records_used >= max_record_bytes) {
            r.out = db->records + db->records_used;
            int used = 0;
            if (read_species(&r, db, max_interval_count, &used) == CEA_OK) {
                at = static_cast<std::uint32_t>(db->records_used + 1);
                db->records_used += r.out_bytes;
            }
        }
        __atomic_store_n(&built[index], at, __ATOMIC_RELEASE);
    }
    __atomic_store_n(&db->building, 0, __ATOMIC_RELEASE);
    return at == compiled_inert_at ? &inert.record : reinterpret_cast<const species_record *>(db->records + (at - 1));
}

} // namespace cea_impl
