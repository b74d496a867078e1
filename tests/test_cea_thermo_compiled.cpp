// The compiled database: a compiled file reads as the text it was compiled
// from (the reference compiler's file of the shipped database, and our
// compiler's of a small one with every kind of record), a text the form
// cannot hold is refused with its line, and each damage of a file is
// refused with the record and byte offset where it is found. That our
// compiler writes the reference file byte for byte is the test
// thermo_lib_matches_reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "cea_test_files.h"
#include "thermo_compiled_format.h"
#include "thermo_compiled_writer.h"
#include "thermo_database.h"

using namespace cea_impl;

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

int compile(const std::string &text, std::string *bytes, std::string *message)
{
    byte_buffer out = {nullptr, 0, 0};
    failure error;
    int status = compile_thermo_text(text.data(), text.size(), "test.inp", &out, &error);
    *message = status == CEA_OK ? "" : error.text;
    bytes->assign(reinterpret_cast<const char *>(out.data), out.length);
    release_byte_buffer(&out);
    return status;
}

// The refusal's text less "malformed thermodynamic database test.lib: ".
int parse(const std::string &bytes, thermo_database *db, std::string *message)
{
    failure error;
    int status = parse_thermo_compiled(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), "test.lib",
                                       db, &error);
    *message = status == CEA_OK
                   ? ""
                   : std::string(error.text)
                         .substr(std::strlen("malformed thermodynamic database ") + std::strlen("test.lib: "));
    return status;
}

// The small database with reactants that have fits, a gas and a condensed
// species of two intervals, ahead of its two liquids, and an Air after them;
// blank fields where the text allows them.
std::string small_text()
{
    std::string t = read_file(CEA_TEST_DATA_DIR "/thermo_small_lf.inp");
    std::string co = t.substr(t.find("CO  "), t.find("CO2  ") - t.find("CO  "));
    std::string water = t.substr(t.find("H2O(L)"), t.find("END PRODUCTS") - t.find("H2O(L)"));
    std::string ch4 = t.substr(t.find("CH4(L)"), t.find("O2(L)") - t.find("CH4(L)"));
    t = replaced(t, "CH4(L)", replaced(co, "CO  ", "COr ") + replaced(water, "(L) ", "(Lr)") + "CH4(L)");
    t = replaced(t, "C   1.00O   1.00    0.00", "C   1.00O   1.00        "); // a blank pair
    ch4 = replaced(replaced(ch4, "CH4(L)", "Air   "), "111.643      0.0000", "111.643           ");
    return replaced(t, "END REACTANTS", ch4 + "END REACTANTS"); // without fits
}

bool same_bits(const void *a, const void *b, std::size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

// Every record of the compiled file against the text's: the same species in
// the same order with the same formula, weight and fits, but for what the
// compiled form does not hold (a gas's ranges, which are the common bounds,
// heats of formation, the text's Air composition).
void expect_reads_as_text(const thermo_database &text, const thermo_database &lib)
{
    ASSERT_EQ(lib.species_count, text.species_count);
    ASSERT_EQ(lib.interval_count, text.interval_count);
    for (int i = 0; i < text.species_count; ++i) {
        const species_record *t = database_species(&text, i);
        const species_record *l = database_species(&lib, i);
        SCOPED_TRACE(record_name(t));
        ASSERT_STREQ(record_name(l), record_name(t));
        ASSERT_EQ(find_species(&lib, record_name(t)), find_species(&text, record_name(t)));
        ASSERT_TRUE(l->product == t->product && l->condensed == t->condensed &&
                    l->interval_count == t->interval_count && l->element_count == t->element_count);
        EXPECT_TRUE(same_bits(&l->molecular_weight_kg_kmol, &t->molecular_weight_kg_kmol, sizeof(double)));
        // The directory's part and element mask, which choose the products.
        const compiled_species *d = &compiled_directory(&lib)[i];
        std::uint64_t mask = 0;
        for (int e = 0; e < t->element_count; ++e) {
            int bit = compiled_element_bit(&lib, element_symbol_code(record_element_symbol(t, e)));
            mask |= bit >= 0 ? std::uint64_t{1} << bit : 0;
        }
        EXPECT_TRUE(d->product == t->product && (!d->mask_complete || d->element_mask == mask));
        for (int e = 0; e < t->element_count; ++e) {
            EXPECT_STREQ(record_element_symbol(l, e), record_element_symbol(t, e));
            if (std::strcmp(record_name(t), "Air") != 0 || t->interval_count == 0) {
                EXPECT_EQ(record_element_amounts(l)[e], record_element_amounts(t)[e]);
            }
        }
        if (t->interval_count == 0) {
            EXPECT_EQ(l->enthalpy_j_mol, t->enthalpy_j_mol);
            EXPECT_EQ(l->assigned_temperature_k, t->assigned_temperature_k);
        }
        for (int j = 0; j < t->interval_count; ++j) {
            const thermo_interval &ti = record_intervals(t)[j];
            const thermo_interval &li = record_intervals(l)[j];
            EXPECT_TRUE(same_bits(li.a, ti.a, sizeof ti.a + sizeof ti.b)) << "interval " << j;
            EXPECT_EQ(li.t_low_k, t->condensed ? ti.t_low_k : lib.common_bounds_k[j]) << "interval " << j;
            EXPECT_EQ(li.t_high_k, t->condensed ? ti.t_high_k : lib.common_bounds_k[j + 1]) << "interval " << j;
        }
    }
}

TEST(thermo_compiled, compiled_files_read_as_their_texts)
{
    thermo_database text;
    thermo_database lib;
    failure error;
    ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &text, &error), CEA_OK) << error.text;
    ASSERT_EQ(load_thermo_file(LRE_THERMO_LIB, &lib, &error), CEA_OK) << error.text;
    ASSERT_NE(lib.file, nullptr);
    expect_reads_as_text(text, lib);
    EXPECT_EQ(find_species(&lib, "O2(L"), -1);
    EXPECT_EQ(find_species(&lib, "*CO"), -1);
    release_thermo_database(&text);
    release_thermo_database(&lib);

    std::string bytes;
    std::string message;
    ASSERT_EQ(compile(small_text(), &bytes, &message), CEA_OK) << message;
    ASSERT_EQ(parse_thermo_text(small_text().data(), small_text().size(), "test.inp", &text, &error), CEA_OK);
    ASSERT_EQ(parse(bytes, &lib, &message), CEA_OK) << message;
    expect_reads_as_text(text, lib);
    release_thermo_database(&lib);
    // A formula that names an element twice reads as one pair of both counts.
    std::string twice = bytes;
    std::memcpy(&twice[62 + 4 + 35], "C ", 2); // CO's second pair
    ASSERT_EQ(parse(twice, &lib, &message), CEA_OK) << message;
    const species_record *co = database_species(&lib, 0);
    EXPECT_EQ(co->element_count, 1);
    EXPECT_EQ(record_element_amounts(co)[0], 2.0);
    release_thermo_database(&lib);
    release_thermo_database(&text);
}

// Texts that the reader accepts but the compiled form cannot hold (and one
// that the reader refuses), each refused with the line.
TEST(thermo_compiled, compiler_refuses_what_the_form_cannot_hold)
{
    const std::string t = small_text();
    const std::size_t co = t.find("CO  ");
    const std::string co_record = t.substr(co, t.find("CO2  ") - co);
    const std::string o2 = t.substr(t.find("O2(L)"), t.find("END REACTANTS") - t.find("O2(L)"));
    std::string fourth = t.substr(t.find("   6000.000  20000.000", co), std::size_t{3} * 81);
    fourth.replace(0, 22, "  20000.000  30000.000");
    std::string four_intervals = replaced(t, "CO2  ", fourth + "CO2  ");
    four_intervals[co + 81 + 1] = '4';
    std::string unprintable = t;
    unprintable[co + 1] = '\x01';
    const std::string no = "cannot be compiled: ";
    const struct {
        std::string text;
        std::string message; // after "test.inp: "
    } cases[] = {
        {replaced(t, "CO    ", "CO_with_a_long_name"),
         "line 4: " + no + "the species name has more than 15 characters"},
        {replaced(t, "CO            ", "COCOCOCOCOCOCOC"),
         "line 4: " + no + "the name of a gas that reaches the last bound has more than 14 characters"},
        {unprintable, "line 4: " + no + "columns 1-15 hold a byte that is not printable text"},
        {replaced(t, "CO  ", "*CO "), "line 4: " + no + "a species name begins with '*'"},
        {replaced(t, "0.00 0   28.0101", "0.00-1   28.0101"),
         "line 5: " + no + "the phase (columns 51-52) is negative"},
        {four_intervals, "line 4: " + no + "a gas has more than three temperature intervals"},
        {replaced(t, "CO  ", o2 + "CO  "),
         "line 4: " + no + "a species without temperature intervals among the products"},
        {replaced(t, "END PRODUCTS", replaced(co_record, "CO ", "COx") + "END PRODUCTS"),
         "line 113: " + no + "a gas after a condensed record of the products part"},
        {replaced(t, "     90.170      0.0000", "     90.170      0.00x0"),
         "line 138: " + no + "columns 12-22 are not a number"},
        {replaced(t, "    200.00", "      0.00"),
         "line 3: " + no + "the common temperature bounds must be positive, finite and increasing"},
        {replaced(t, "   1000.00", "   100x.00"),
         "line 3: the common temperature bounds (four fields of 10 columns) must increase"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        ASSERT_NE(c.text, t);
        std::string bytes;
        std::string message;
        EXPECT_EQ(compile(c.text, &bytes, &message), CEA_MALFORMED_DATABASE);
        EXPECT_EQ(message, "malformed thermodynamic database test.inp: " + c.message);
        EXPECT_TRUE(bytes.empty());
    }
}

void put_i32(std::string &bytes, std::size_t at, std::int32_t v)
{
    store_i32(reinterpret_cast<unsigned char *>(&bytes[at]), v);
}

void put_f64(std::string &bytes, std::size_t at, double v)
{
    store_f64(reinterpret_cast<unsigned char *>(&bytes[at]), v);
}

// Where each record of a compiled file begins.
std::vector<std::size_t> record_offsets(const std::string &bytes)
{
    std::vector<std::size_t> at;
    for (std::size_t p = 0; p + 4 <= bytes.size();
         p += 8 + static_cast<std::size_t>(load_i32(reinterpret_cast<const unsigned char *>(&bytes[p])))) {
        at.push_back(p);
    }
    return at;
}

// Damaged files of the small database, each refused at the record where the
// damage is found (records 2-9 are its gases, 10-15 its condensed
// intervals, 16-17 the gas reactant and its fits, 18-21 the condensed one,
// 22 and 23 the liquids, 24 Air); then every cut of the file.
TEST(thermo_compiled, each_damage_is_refused_at_its_record)
{
    std::string lib;
    std::string message;
    ASSERT_EQ(compile(small_text(), &lib, &message), CEA_OK) << message;
    const std::vector<std::size_t> at = record_offsets(lib);
    ASSERT_EQ(at.size(), 24u);
    enum { i32, f64, byte, marker, end_marker };
    const struct {
        int record;         // 1-based
        std::size_t offset; // in the payload
        int kind;
        double value;
        int reported; // the record named, when another
        const char *message;
    } cases[] = {
        {1, 0, marker, 53, 0, "the header has 54 bytes, the length marker says 53"},
        {1, 0, end_marker, 55, 0, "the length markers before and after the record differ"},
        {1, 8, f64, 100.0, 0, "the common temperature bounds must be positive, finite and increasing"},
        {1, 0, f64, 0.0, 0, "the common temperature bounds must be positive, finite and increasing"},
        {1, 24, f64, inf, 0, "the common temperature bounds must be positive, finite and increasing"},
        {1, 32, i32, -1, 0, "the header's counts must satisfy 0 <= gases <= products <= records"},
        {1, 32, i32, 15, 0, "the header's counts must satisfy 0 <= gases <= products <= records"},
        {1, 36, i32, 24, 0, "the header's counts must satisfy 0 <= gases <= products <= records"},
        {1, 40, i32, 21, 25, "the file ends where a reactant entry should begin"},
        {1, 40, i32, 18, 23, "bytes follow the last record that the header counts"},
        {1, 32, i32, 9, 10, "a gas record has 319 bytes, the length marker says 175"},
        {1, 36, i32, 15, 16, "a condensed record has 175 bytes, the length marker says 111"},
        {2, 0, marker, 320, 0, "a gas record has 319 bytes, the length marker says 320"},
        {2, 5, byte, 1, 0, "the name holds a byte that is not printable text"},
        {2, 0, byte, 'C', 0, "a gas must be marked '*' exactly when its phase is -1"},
        {2, 75, i32, 0, 0, "a gas must be marked '*' exactly when its phase is -1"},
        {6, 75, i32, -1, 0, "a gas must be marked '*' exactly when its phase is -1"},
        {6, 75, i32, 2, 0, "a gas's phase must be 0 or -1"},
        {6, 0, byte, ' ', 0, "the species name is blank"},
        {2, 25, byte, '1', 0, "a formula pair is not an element symbol and a finite atom count"},
        {2, 26, byte, '+', 0, "a formula pair is not an element symbol and a finite atom count"},
        {2, 27, f64, inf, 0, "a formula pair is not an element symbol and a finite atom count"},
        {2, 37, f64, 0.0, 0, ""},
        {2, 95, f64, 0.0, 0, "the molecular weight is not a positive number"},
        {2, 95, f64, inf, 0, "the molecular weight is not a positive number"},
        {2, 87, f64, nan, 0, "a temperature is not a finite number"},
        {2, 15, i32, 4, 0, "a gas must have 1 to 3 temperature intervals"},
        {2, 15, i32, 0, 0, "a gas must have 1 to 3 temperature intervals"},
        {2, 311, f64, -inf, 0, "a coefficient is not a finite number"},
        {10, 0, marker, 174, 0, "a condensed record has 175 bytes, the length marker says 174"},
        {11, 1, byte, 'X', 0, "an interval of a condensed species differs from its first in name, formula or weight"},
        {11, 95, f64, 12.0, 0, "an interval of a condensed species differs from its first in name, formula or weight"},
        {10, 75, i32, 0, 0, "a condensed record's phase must be 1 or more"},
        {11, 79, f64, 500.0, 0, "the temperature intervals of a condensed species must be positive and increasing"},
        {10, 79, f64, 0.0, 0, "the temperature intervals of a condensed species must be positive and increasing"},
        {10, 87, f64, 200.0, 0, "the temperature intervals of a condensed species must be positive and increasing"},
        {11, 87, f64, inf, 0, "a temperature is not a finite number"},
        {12, 103, f64, nan, 0, "a coefficient is not a finite number"},
        {13, 15, i32, 4, 0, "the interval count of a condensed species does not match the records that follow"},
        {13, 15, i32, 2, 14, "an interval of a condensed species differs from its first in name, formula or weight"},
        {13, 15, i32, 0, 0, "the interval count of a condensed species does not match the records that follow"},
        {16, 15, i32, -1, 0, "the interval count is negative"},
        {17, 0, marker, 100, 0, "the fits of a reactant entry has 216 bytes, the length marker says 100"},
        {17, 8, f64, nan, 0, "a coefficient is not a finite number"},
        {16, 5, byte, 1, 0, "the name holds a byte that is not printable text"},
        {16, 95, f64, 0.0, 0, "the molecular weight is not a positive number"},
        {16, 15, i32, 4, 0, "a gas must have 1 to 3 temperature intervals"},
        {20, 1, byte, 'X', 0, "an interval of a condensed species differs from its first in name, formula or weight"},
        {20, 87, f64, 100.0, 0, "the temperature intervals of a condensed species must be positive and increasing"},
        {20, 75, i32, 0, 0, "a condensed record's phase must be 1 or more"},
        {20, 79, f64, nan, 0, "a temperature is not a finite number"},
        {18, 15, i32, 9, 0, "the interval count of a condensed species does not match the records that follow"},
        {19, 0, f64, nan, 0, "a coefficient is not a finite number"},
        {22, 0, marker, 112, 0, "a reactant entry has 111 bytes, the length marker says 112"},
        {22, 79, f64, 0.0, 0, "the temperature of the assigned enthalpy is not a positive number"},
        {22, 103, f64, nan, 0, "the assigned enthalpy is not a finite number"},
        {23, 25, byte, '1', 0, "a formula pair is not an element symbol and a finite atom count"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "record " << c.record << " + " << c.offset << ": " << c.message);
        std::string changed = lib;
        std::size_t p = at[static_cast<std::size_t>(c.record - 1)] + 4 + c.offset;
        switch (c.kind) {
        case i32: put_i32(changed, p, static_cast<std::int32_t>(c.value)); break;
        case f64: put_f64(changed, p, c.value); break;
        case byte: changed[p] = static_cast<char>(c.value); break;
        case marker: put_i32(changed, p - 4, static_cast<std::int32_t>(c.value)); break;
        default:
            put_i32(changed,
                    p + static_cast<std::size_t>(load_i32(reinterpret_cast<const unsigned char *>(&lib[p - 4]))),
                    static_cast<std::int32_t>(c.value));
            break;
        }
        int reported = c.reported != 0 ? c.reported : c.record;
        std::size_t where =
            reported <= static_cast<int>(at.size()) ? at[static_cast<std::size_t>(reported - 1)] : lib.size();
        thermo_database db;
        if (c.message[0] == '\0') {
            EXPECT_EQ(parse(changed, &db, &message), CEA_OK) << message; // a pair of no atoms is unused
            release_thermo_database(&db);
            continue;
        }
        EXPECT_EQ(parse(changed, &db, &message), CEA_MALFORMED_DATABASE);
        EXPECT_EQ(message,
                  "record " + std::to_string(reported) + " at byte " + std::to_string(where) + ": " + c.message);
    }
    thermo_database db;
    EXPECT_EQ(parse("", &db, &message), CEA_MALFORMED_DATABASE);
    EXPECT_EQ(message, "record 1 at byte 0: the file ends where the header should begin");
    EXPECT_EQ(parse(lib.substr(0, 3), &db, &message), CEA_MALFORMED_DATABASE);
    EXPECT_EQ(message, "record 1 at byte 0: the file ends inside the record's length marker");
    EXPECT_EQ(parse(lib.substr(0, 65), &db, &message), CEA_MALFORMED_DATABASE);
    EXPECT_EQ(message, "record 2 at byte 62: the file ends inside the record's length marker");
    EXPECT_EQ(parse(lib.substr(0, 61), &db, &message), CEA_MALFORMED_DATABASE);
    EXPECT_EQ(message, "record 1 at byte 0: the file ends inside the record");
    for (std::size_t length = 62; length < lib.size(); ++length) {
        ASSERT_EQ(parse(lib.substr(0, length), &db, &message), CEA_MALFORMED_DATABASE) << length;
    }
}

} // namespace
