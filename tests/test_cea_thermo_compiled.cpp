// The compiled database: the reference compiler's file reads as the text it
// was compiled from, our compiler writes that file byte for byte, and every
// damaged or cut file is refused with the record and byte that are wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "thermo_compiled_format.h"
#include "thermo_compiled_writer.h"
#include "thermo_database.h"

using namespace cea_impl;

namespace {

// The build's compiled database, which thermo_lib_matches_reference holds to
// the reference compiler's bytes.
const std::string reference_lib = LRE_THERMO_LIB;

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string compile(const std::string &text, int *status, std::string *message)
{
    byte_buffer out = {nullptr, 0, 0};
    failure error;
    *status = compile_thermo_text(text.data(), text.size(), "test.inp", &out, &error);
    *message = *status == CEA_OK ? "" : error.text;
    std::string bytes(reinterpret_cast<const char *>(out.data), out.length);
    release_byte_buffer(&out);
    return bytes;
}

int parse(const std::string &bytes, thermo_database *db, std::string *message)
{
    failure error;
    int status = parse_thermo_compiled(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), "test.lib",
                                       db, &error);
    *message = status == CEA_OK ? "" : error.text;
    return status;
}

const double common_bounds_k[4] = {200.0, 1000.0, 6000.0, 20000.0};

bool same_bits(const void *a, const void *b, std::size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

// Every record of the reference file against the text's: the same species
// in the same order, with the same formula, weight and fits, but for what the
// compiled form does not hold (gas ranges, heats of formation, the text's
// Air composition).
TEST(thermo_compiled, reference_file_reads_as_its_text)
{
    thermo_database text;
    thermo_database lib;
    failure error;
    ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &text, &error), CEA_OK) << error.text;
    ASSERT_EQ(load_thermo_file(reference_lib.c_str(), &lib, &error), CEA_OK) << error.text;
    ASSERT_EQ(lib.species_count, text.species_count);
    for (int i = 0; i < text.species_count; ++i) {
        const species_record *t = database_species(&text, i);
        const species_record *l = database_species(&lib, i);
        SCOPED_TRACE(record_name(t));
        ASSERT_STREQ(record_name(l), record_name(t));
        ASSERT_EQ(find_species(&lib, record_name(t)), find_species(&text, record_name(t)));
        EXPECT_EQ(l->product, t->product);
        EXPECT_EQ(l->condensed, t->condensed);
        EXPECT_TRUE(same_bits(&l->molecular_weight_kg_kmol, &t->molecular_weight_kg_kmol, sizeof(double)));
        ASSERT_EQ(l->element_count, t->element_count);
        for (int e = 0; e < t->element_count; ++e) {
            EXPECT_STREQ(record_element_symbol(l, e), record_element_symbol(t, e));
            if (std::strcmp(record_name(t), "Air") != 0) {
                EXPECT_EQ(record_element_amounts(l)[e], record_element_amounts(t)[e]);
            }
        }
        if (t->interval_count == 0) {
            EXPECT_EQ(l->interval_count, 0);
            EXPECT_EQ(l->enthalpy_j_mol, t->enthalpy_j_mol);
            EXPECT_EQ(l->assigned_temperature_k, t->assigned_temperature_k);
            continue;
        }
        const thermo_interval *ti = record_intervals(t);
        const thermo_interval *li = record_intervals(l);
        ASSERT_EQ(l->interval_count, t->interval_count);
        for (int j = 0; j < t->interval_count; ++j) {
            EXPECT_TRUE(same_bits(li[j].a, ti[j].a, sizeof ti[j].a + sizeof ti[j].b)) << "interval " << j;
            if (t->condensed) {
                EXPECT_TRUE(same_bits(&li[j], &ti[j], 2 * sizeof(double))) << "interval " << j;
            } else {
                EXPECT_EQ(li[j].t_low_k, common_bounds_k[j]);
                EXPECT_EQ(li[j].t_high_k, common_bounds_k[j + 1]);
            }
        }
    }
    release_thermo_database(&text);
    release_thermo_database(&lib);
}

TEST(thermo_compiled, compiler_writes_the_reference_file)
{
    int status = 0;
    std::string message;
    std::string bytes = compile(read_file(LRE_THERMO_DATABASE), &status, &message);
    ASSERT_EQ(status, CEA_OK) << message;
    EXPECT_TRUE(bytes == read_file(reference_lib)) << "the compiled bytes differ from the reference file";
}

// A small text and its compiled form, for the refusals below.
std::string small_text() { return read_file(CEA_TEST_DATA_DIR "/thermo_small_lf.inp"); }

std::string small_lib()
{
    int status = 0;
    std::string message;
    std::string bytes = compile(small_text(), &status, &message);
    EXPECT_EQ(status, CEA_OK) << message;
    return bytes;
}

// Texts that the reader accepts but the compiled form cannot hold, and one
// that the reader refuses, refused with the reader's message.
TEST(thermo_compiled, compiler_refuses_what_it_cannot_hold)
{
    std::string text = small_text();
    std::size_t co = text.find("CO ");
    std::size_t third = text.find("   6000.000  20000.000", co);
    std::string fourth = text.substr(third, std::size_t{3} * 81); // a fourth interval after CO's third
    fourth.replace(0, 22, "  20000.000  30000.000");
    struct refusal {
        const char *what;
        std::function<void(std::string &)> change;
        const char *message;
    };
    const std::vector<refusal> refusals = {
        {"long name", [&](std::string &t) { t.replace(co, 3, "CO_with_a_long_name"); }, "more than 15 characters"},
        {"negative phase", [&](std::string &t) { t.replace(co + 81 + 50, 2, "-1"); }, "is negative"},
        {"four gas intervals",
         [&](std::string &t) {
             t.insert(third + std::size_t{3} * 81, fourth);
             t.replace(co + 81, 2, " 4");
         },
         "more than three"},
        {"unreadable text", [&](std::string &t) { t.replace(co + 81 + 53, 5, "abcde"); }, "molecular weight"},
        {"zero bound", [&](std::string &t) { t.replace(t.find("    200.00"), 10, "     00.00"); },
         "common temperature"},
    };
    for (const refusal &r : refusals) {
        std::string changed = text;
        r.change(changed);
        int status = 0;
        std::string message;
        compile(changed, &status, &message);
        EXPECT_EQ(status, CEA_MALFORMED_DATABASE) << r.what;
        EXPECT_NE(message.find(r.message), std::string::npos) << r.what << ": " << message;
        EXPECT_NE(message.find("test.inp: line "), std::string::npos) << r.what << ": " << message;
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

// Damaged files, each refused with the record and byte offset where the
// damage is found; then every cut of the small file.
TEST(thermo_compiled, damaged_files_name_record_and_offset)
{
    const std::string lib = small_lib();
    const std::size_t gas1 = 62;          // the first gas record
    const std::size_t gas2 = 62 + 327;    // the second
    const std::size_t h2o = 62 + 4 * 327; // the fifth, the first without a third interval in the text
    const std::size_t payload = 4;
    struct damage {
        const char *what;
        std::function<void(std::string &)> change;
        const char *at; // "record N at byte M"
        const char *message;
    };
    const std::vector<damage> damages = {
        {"header size", [](std::string &b) { put_i32(b, 0, 53); }, "record 1 at byte 0", "length marker"},
        {"unequal markers", [](std::string &b) { put_i32(b, 58, 55); }, "record 1 at byte 0", "differ"},
        {"bounds out of order", [](std::string &b) { put_f64(b, payload + 8, 100.0); }, "record 1 at byte 0", "bounds"},
        {"counts out of order", [](std::string &b) { put_i32(b, payload + 32, 1000); }, "record 1 at byte 0", "counts"},
        {"more records counted", [](std::string &b) { put_i32(b, payload + 40, 1000); }, "at byte", "file ends"},
        {"gas as condensed", [=](std::string &b) { put_i32(b, gas2 + payload + 75, 1); }, "record 3 at byte 389",
         "phase"},
        {"mark without phase", [=](std::string &b) { b[h2o + payload] = '*'; }, "record 6 at byte 1370", "'*'"},
        {"phase without mark", [=](std::string &b) { b[gas1 + payload] = 'C'; }, "record 2 at byte 62", "'*'"},
        {"blank name", [=](std::string &b) { b[h2o + payload] = ' '; }, "record 6 at byte 1370", "blank"},
        {"control byte in name", [=](std::string &b) { b[h2o + payload + 1] = '\n'; }, "record 6 at byte 1370",
         "printable"},
        {"bad symbol", [=](std::string &b) { b[gas1 + payload + 25] = '1'; }, "record 2 at byte 62", "formula"},
        {"infinite count", [=](std::string &b) { put_f64(b, gas1 + payload + 27, 1.0 / 0.0); }, "record 2 at byte 62",
         "formula"},
        {"no weight", [=](std::string &b) { put_f64(b, gas1 + payload + 95, 0.0); }, "record 2 at byte 62",
         "molecular weight"},
        {"NaN coefficient", [=](std::string &b) { put_f64(b, gas1 + payload + 199, std::nan("")); },
         "record 2 at byte 62", "coefficient"},
        {"four gas intervals", [=](std::string &b) { put_i32(b, gas1 + payload + 15, 4); }, "record 2 at byte 62",
         "1 to 3"},
        {"trailing bytes", [](std::string &b) { b += "x"; }, "at byte", "follow the last record"},
    };
    for (const damage &d : damages) {
        std::string changed = lib;
        d.change(changed);
        thermo_database db;
        std::string message;
        EXPECT_EQ(parse(changed, &db, &message), CEA_MALFORMED_DATABASE) << d.what;
        EXPECT_NE(message.find(d.at), std::string::npos) << d.what << ": " << message;
        EXPECT_NE(message.find(d.message), std::string::npos) << d.what << ": " << message;
    }
    thermo_database db;
    std::string message;
    ASSERT_EQ(parse(lib, &db, &message), CEA_OK) << message;
    release_thermo_database(&db);
    for (std::size_t length = 0; length < lib.size(); ++length) {
        ASSERT_EQ(parse(lib.substr(0, length), &db, &message), CEA_MALFORMED_DATABASE) << length;
        ASSERT_NE(message.find(" at byte "), std::string::npos) << length << ": " << message;
    }
}

// An infinity or a NaN in any number of a product record, a gas or either
// interval of a condensed species, is refused at that record.
TEST(thermo_compiled, every_number_of_a_product_record_must_be_finite)
{
    const std::string lib = small_lib();
    const std::size_t condensed = lib.find("H2O(L)") - 4; // two intervals, two records
    const std::size_t records[3] = {62, condensed, condensed + 183};
    const std::size_t ends[3] = {4 + 319, 4 + 175, 4 + 175};
    const double bad_values[3] = {1.0 / 0.0, -1.0 / 0.0, std::nan("")};
    for (int k = 0; k < 3; ++k) {
        std::vector<std::size_t> offsets = {27, 37, 47, 57, 67}; // the atom counts
        for (std::size_t at = 79; at + 8 <= ends[k] - 4; at += 8) {
            offsets.push_back(at); // temperatures, weight, coefficients
        }
        for (std::size_t at : offsets) {
            for (double v : bad_values) {
                std::string changed = lib;
                put_f64(changed, records[k] + 4 + at, v);
                thermo_database db;
                std::string message;
                std::string where = "at byte " + std::to_string(records[k]) + ":";
                ASSERT_EQ(parse(changed, &db, &message), CEA_MALFORMED_DATABASE) << records[k] << "+" << at << " " << v;
                EXPECT_NE(message.find(where), std::string::npos) << at << ": " << message;
            }
        }
    }
}

// The condensed records of a species must repeat it and follow in order.
TEST(thermo_compiled, condensed_intervals_must_belong_together)
{
    const std::string lib = small_lib();
    // The first condensed record of a species with two intervals.
    std::size_t first = lib.find("H2O(L)");
    ASSERT_NE(first, std::string::npos);
    std::size_t second = first + 183;
    struct damage {
        const char *what;
        std::function<void(std::string &)> change;
        const char *message;
    };
    const std::vector<damage> damages = {
        {"other name", [=](std::string &b) { b[second + 1] = 'X'; }, "differs from its first"},
        {"overlapping intervals", [=](std::string &b) { put_f64(b, second + 79, 300.0); }, "increasing"},
        {"more intervals than records",
         [=](std::string &b) {
             put_i32(b, first + 15, 9);
             put_i32(b, second + 15, 9);
         },
         "interval count"},
    };
    for (const damage &d : damages) {
        std::string changed = lib;
        d.change(changed);
        thermo_database db;
        std::string message;
        EXPECT_EQ(parse(changed, &db, &message), CEA_MALFORMED_DATABASE) << d.what;
        EXPECT_NE(message.find(d.message), std::string::npos) << d.what << ": " << message;
    }
}

} // namespace
