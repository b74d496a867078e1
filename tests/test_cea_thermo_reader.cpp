// The database reader: exact number conversion, the records of the shipped
// database, LF and CRLF alike, and a message naming the line for every kind
// of malformed text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>

#include "fixed_column_number.h"
#include "thermo_database.h"

using namespace cea_impl;

namespace {

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

double reference_strtod(std::string field)
{
    for (char &c : field) {
        if (c == 'D' || c == 'd') {
            c = 'E';
        }
    }
    return std::strtod(field.c_str(), nullptr);
}

struct number_case {
    const char *field;
    int ok;
};

// Each accepted field converts to exactly what strtod gives; the others are
// refused. Covers the one-operation path, both 128-bit paths, the strtod
// fallback (20 digits, huge exponents) and the edges of the syntax.
TEST(fixed_column_number, converts_exactly_or_refuses)
{
    const number_case cases[] = {
        {" 4.943650540D+04", 1}, {"-7.689988780D-10", 1}, {" 5.691053860D-16", 1}, {" 1.016847056D+06", 1},
        {"-1.544423287D+09", 1}, {"   31.9988000", 1},    {"     -12979.000", 1}, {"  20000.", 1},
        {"7.2057594037927933D+16", 1}, {"9.999999999999999999D-25", 1}, {"1.23456789012345678901D+00", 1},
        {"1.0D+300", 1},         {"4.9406564584124654D-300", 1}, {"0.0000000000000000001D+00", 1},
        {" +1.5e3 ", 1},         {".5", 1},             {"5.", 1},           {"-0.000", 1},
        {"", 0},                 {"    ", 0},           {"1.5D+", 0},        {"--1", 0},
        {"1.0+05", 0},           {"1.2.3", 0},          {"D+04", 0},         {"1.0D+999", 0},
        {"12 34", 0},            {"0x10", 0},           {".", 0},
    };
    for (const number_case &c : cases) {
        SCOPED_TRACE(c.field);
        double value = -12345.0;
        int ok = parse_fixed_number(c.field, std::strlen(c.field), &value);
        EXPECT_EQ(ok, c.ok);
        if (c.ok) {
            double expected = reference_strtod(c.field);
            EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << value << " vs " << expected;
        }
    }
}

// Every coefficient field of the shipped database (16-column D-format
// numbers) converts to the bits strtod gives.
TEST(fixed_column_number, every_coefficient_of_the_database)
{
    std::string text = read_file(LRE_THERMO_DATABASE);
    std::istringstream lines(text);
    std::string line;
    int compared = 0;
    while (std::getline(lines, line)) {
        if (line.size() < 80 || line.find('D', 0) == std::string::npos || line[0] == '!') {
            continue;
        }
        for (std::size_t column = 0; column + 16 <= 80; column += 16) {
            std::string field = line.substr(column, 16);
            if (field[12] != 'D' || (field[13] != '+' && field[13] != '-')) {
                continue;  // not a coefficient (references, blank columns)
            }
            double value = 0.0;
            ASSERT_EQ(parse_fixed_number(field.data(), field.size(), &value), 1) << field;
            double expected = reference_strtod(field);
            ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << field;
            ++compared;
        }
    }
    EXPECT_GT(compared, 30000);
}

TEST(thermo_reader, shipped_database)
{
    thermo_database db;
    failure error;
    ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &db, &error), CEA_OK) << error.text;
    EXPECT_EQ(db.species.size(), 2086u);

    int o2_liquid = find_species(&db, "O2(L)");
    ASSERT_GE(o2_liquid, 0);
    const species_record &o2 = db.species[static_cast<std::size_t>(o2_liquid)];
    EXPECT_EQ(o2.product, 0);
    EXPECT_EQ(o2.interval_count, 0);
    EXPECT_EQ(o2.molecular_weight_kg_kmol, 31.9988);
    EXPECT_EQ(o2.enthalpy_j_mol, -12979.0);
    EXPECT_EQ(o2.assigned_temperature_k, 90.17);

    int rp1 = find_species(&db, "RP-1");
    ASSERT_GE(rp1, 0);
    EXPECT_EQ(db.species[static_cast<std::size_t>(rp1)].element_amounts[1], 1.95);

    int co2 = find_species(&db, "CO2");
    ASSERT_GE(co2, 0);
    const species_record &c = db.species[static_cast<std::size_t>(co2)];
    EXPECT_EQ(c.product, 1);
    EXPECT_EQ(c.condensed, 0);
    ASSERT_EQ(c.interval_count, 3);
    const thermo_interval &first = db.intervals[static_cast<std::size_t>(c.first_interval)];
    EXPECT_EQ(first.t_low_k, 200.0);
    EXPECT_EQ(first.t_high_k, 1000.0);
    EXPECT_EQ(first.a[0], 4.943650540e+04);
    EXPECT_EQ(first.b[1], -7.048279440e+00);
    EXPECT_EQ(db.intervals[static_cast<std::size_t>(c.first_interval + 2)].a[6], -8.842351500e-16);

    // Phases with a transition inside them repeat a name: every record is
    // kept, and the first is found.
    int cobalt = find_species(&db, "Co(b)");
    ASSERT_GE(cobalt, 0);
    EXPECT_STREQ(db.species[static_cast<std::size_t>(cobalt + 1)].name, "Co(b)");
    EXPECT_LT(db.intervals[static_cast<std::size_t>(db.species[static_cast<std::size_t>(cobalt)].first_interval)].t_low_k,
              db.intervals[static_cast<std::size_t>(db.species[static_cast<std::size_t>(cobalt + 1)].first_interval)].t_low_k);
}

TEST(thermo_reader, lf_and_crlf_read_alike)
{
    std::string crlf = read_file(LRE_THERMO_DATABASE);
    std::string lf;
    lf.reserve(crlf.size());
    for (char ch : crlf) {
        if (ch != '\r') {
            lf.push_back(ch);
        }
    }
    thermo_database a, b;
    failure error;
    ASSERT_EQ(parse_thermo_text(crlf.data(), crlf.size(), "crlf", &a, &error), CEA_OK) << error.text;
    ASSERT_EQ(parse_thermo_text(lf.data(), lf.size(), "lf", &b, &error), CEA_OK) << error.text;
    ASSERT_EQ(a.species.size(), b.species.size());
    ASSERT_EQ(a.intervals.size(), b.intervals.size());
    EXPECT_EQ(std::memcmp(a.intervals.data(), b.intervals.data(), a.intervals.size() * sizeof(thermo_interval)), 0);
}

struct malformed_case {
    const char *what;
    int line;          // reported line, 0 for the empty text
    const char *text;  // part of the message
};

// A small valid text is broken in one place at a time.
TEST(thermo_reader, malformed_text_names_the_line)
{
    const std::string header = "! comment\nthermo\n    200.00   1000.00   6000.00  20000.     9/09/04\n";
    const std::string gas =
        "AR                Ref-Elm. Moore,1971. Gordon,1999.                             \n"
        " 1 g 3/98 AR  1.00    0.00    0.00    0.00    0.00 0   39.9480000          0.000\n"
        "    200.000   6000.0007 -2.0 -1.0  0.0  1.0  2.0  3.0  4.0  0.0         6197.428\n"
        " 0.000000000D+00 0.000000000D+00 2.500000000D+00 0.000000000D+00 0.000000000D+00\n"
        " 0.000000000D+00 0.000000000D+00                -7.453750000D+02 4.379674910D+00\n";
    const std::string liquid =
        "O2(L)             Oxygen.                                                       \n"
        " 0 g 6/96 O   2.00    0.00    0.00    0.00    0.00 1   31.9988000     -12979.000\n"
        "     90.170      0.0000  0.0  0.0  0.0  0.0  0.0  0.0  0.0  0.0            0.000\n";
    const std::string good = header + gas + "END PRODUCTS\n" + liquid + "END REACTANTS\n";
    {
        thermo_database db;
        failure error;
        ASSERT_EQ(parse_thermo_text(good.data(), good.size(), "good", &db, &error), CEA_OK) << error.text;
        ASSERT_EQ(db.species.size(), 2u);
    }
    auto replaced = [&](const std::string &from, const std::string &to) {
        std::string text = good;
        std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    struct text_case {
        malformed_case expect;
        std::string text;
    };
    const text_case cases[] = {
        {{"empty", 0, "empty"}, ""},
        {{"no thermo line", 1, "thermo"}, "hello\n"},
        {{"comments only", 2, "'thermo'"}, "! a\n! b\n"},
        {{"bad bounds", 3, "common temperature bounds"}, replaced("   1000.00", "   abc    ")},
        {{"interval count", 5, "intervals"}, replaced(" 1 g 3/98", "10 g 3/98")},
        {{"atom count", 5, "atom count"}, replaced("AR  1.00", "AR  1.x0")},
        {{"no element", 5, "names no element"}, replaced("AR  1.00", "AR  0.00")},
        {{"bad symbol", 5, "element symbol"}, replaced("AR  1.00", "1R  1.00")},
        {{"molecular weight", 5, "molecular weight"}, replaced("39.9480000", "-9.9480000")},
        {{"temperatures", 6, "temperature interval"}, replaced("   6000.0007", "    100.0007")},
        {{"coefficient count", 6, "coefficients"}, replaced("6000.0007", "6000.0009")},
        {{"exponents", 6, "exponents"}, replaced("-2.0 -1.0  0.0", "-2.0 -1.0  0.5")},
        {{"coefficient", 7, "a1-a5"}, replaced("2.500000000D+00", "2.50000000QD+00")},
        {{"a6 a7", 8, "a6-a7"}, replaced(" 0.000000000D+00 0.000000000D+00                -7", " 0.000000000D+00 0.0000000#0D+00                -7")},
        {{"b1 b2", 8, "b1-b2"}, replaced("4.379674910D+00", "               ")},
        {{"assigned temperature", 12, "assigned enthalpy"}, replaced("     90.170", "     -90.17")},
        {{"name column", 10, "column 1"}, replaced("O2(L)   ", " O2(L)  ")},
        {{"order of ends", 9, "END REACTANTS before END PRODUCTS"}, replaced("END PRODUCTS\n", "END REACTANTS\n")},
        {{"two product ends", 10, "second END PRODUCTS"}, replaced("O2(L)   ", "END PRODUCTS\nO2(L)   ")},
        {{"truncated record", 7, "ends after line 7"}, good.substr(0, good.find(" 0.000000000D+00 0.000000000D+00                -7"))},
        {{"no END REACTANTS", 12, "before END REACTANTS"}, good.substr(0, good.find("END REACTANTS"))},
        {{"a blank line inside a record", 6, "temperature interval"}, replaced("    200.000   6000", "\n    200.000   6000")},
    };
    for (const text_case &c : cases) {
        SCOPED_TRACE(c.expect.what);
        thermo_database db;
        failure error;
        EXPECT_EQ(parse_thermo_text(c.text.data(), c.text.size(), "test.inp", &db, &error), CEA_MALFORMED_DATABASE);
        EXPECT_NE(std::strstr(error.text, c.expect.text), nullptr) << error.text;
        if (c.expect.line > 0) {
            std::string line = "line " + std::to_string(c.expect.line);
            EXPECT_NE(std::strstr(error.text, line.c_str()), nullptr) << error.text;
        }
    }
}

// Inputs kept from fuzzing (the seed corpus and any input that once made
// the reader misbehave) still parse or fail cleanly.
TEST(thermo_reader, fuzz_corpus_is_handled)
{
    DIR *dir = opendir(CEA_FUZZ_CORPUS_DIR);
    ASSERT_NE(dir, nullptr);
    int files = 0;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        std::string text = read_file(std::string(CEA_FUZZ_CORPUS_DIR "/") + entry->d_name);
        thermo_database db;
        failure error;
        int status = parse_thermo_text(text.data(), text.size(), entry->d_name, &db, &error);
        EXPECT_TRUE(status == CEA_OK || status == CEA_MALFORMED_DATABASE) << entry->d_name;
        ++files;
    }
    closedir(dir);
    EXPECT_GT(files, 0);
}

}  // namespace
