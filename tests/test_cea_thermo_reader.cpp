// The text database reader: each number field converts to strtod's bits, a
// text reads alike from memory, from a file in chunks and from a pipe, and
// each kind of damage is refused with the line and what is wrong there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

#include "cea_test_files.h"
#include "fixed_column_number.h"
#include "thermo_database.h"

using namespace cea_impl;

namespace {

// strtod of the field, with Fortran's D exponent read as E, gives the bits
// that the field must convert to; a field that strtod takes to infinity is
// refused.
void expect_as_strtod(const std::string &field)
{
    std::string text = field;
    std::replace(text.begin(), text.end(), 'D', 'E');
    std::replace(text.begin(), text.end(), 'd', 'e');
    double expected = std::strtod(text.c_str(), nullptr);
    double value = -12345.0;
    int read = parse_fixed_number(field.data(), field.size(), &value);
    ASSERT_EQ(read, std::isfinite(expected) ? 1 : 0) << "'" << field << "'";
    ASSERT_TRUE(!read || std::memcmp(&value, &expected, sizeof value) == 0)
        << "'" << field << "': " << value << " vs " << expected;
}

// Fields between bars: the database's shapes and their near misses, plain
// decimals, 20 digits, extreme exponents (the strtod fallback), then fields
// that are refused, among them one longer than any field.
TEST(fixed_column_number, edge_fields_convert_or_are_refused)
{
    std::istringstream accepted(" 4.943650540D+04|-0.000000000D+00| 9.999999999D+99| 4.940656458D-324|1.0D+999|"
                                " 1.797693134D+308| 1.797693135D+308|1.234567890D+04 | 1.234567890D+4 |     -12979.000|"
                                " +1.5e3 |.5|5.|+.5|1.5\t|12345678901234567890|1.23456789012345678901D+00|0.000|"
                                "0.0000000000000000001D+00|4.9406564584124654D-300|1.5d-3");
    for (std::string field; std::getline(accepted, field, '|');) {
        expect_as_strtod(field);
    }
    std::istringstream refused("|    |1.5D+|--1|1.0+05|1.2.3|D+04|12 34|0x10|.|1.5D+3x| 1.23456789xD+04|"
                               " 1.234567890D+04x|\t-|+|" +
                               std::string(64, '1'));
    for (std::string field; std::getline(refused, field, '|');) {
        double value = 0.0;
        EXPECT_EQ(parse_fixed_number(field.data(), field.size(), &value), 0) << "'" << field << "'";
    }
}

// Random fields of every shape the reader has a path for: the database's
// d.dddddddddD+ee, plain decimals, numbers of up to 22 digits with exponents
// from -340 to 310, and exact midpoints between two doubles (an odd 54-bit
// integer y written as y / 5^e times 10^e, or as y 5^q over 10^q).
TEST(fixed_column_number, random_fields_convert_as_strtod)
{
    std::mt19937_64 random(20260601);
    auto digits = [&random](int n) {
        std::string d;
        for (int i = 0; i < n; ++i) {
            d += static_cast<char>('0' + random() % 10);
        }
        return d;
    };
    const std::uint64_t two_53 = std::uint64_t{1} << 53;
    for (int i = 0; i < 120000; ++i) {
        std::string field = std::string(random() % 3, ' ') + std::string(1, " -+"[random() % 3]);
        switch (i % 5) {
        case 0: // the database's shape
            field += digits(1) + "." + digits(9) + "DEde"[random() % 4] + "+-"[random() % 2] + digits(2);
            break;
        case 1: { // plain decimals of up to 15 digits
            int n = 1 + static_cast<int>(random() % 15);
            int point = static_cast<int>(random() % (n + 1));
            std::string d = digits(n);
            field += d.substr(0, point) + "." + d.substr(point);
            break;
        }
        case 2: { // anything: leading zeros, a point anywhere, any exponent
            std::string d = std::string(random() % 3, '0') + digits(1 + static_cast<int>(random() % 22));
            d.insert(random() % (d.size() + 1), random() % 4 ? "." : "");
            field += d + std::string(1, "EeDd"[random() % 4]) + std::to_string(static_cast<int>(random() % 651) - 340);
            break;
        }
        default: { // a midpoint between doubles
            int e = static_cast<int>(random() % 24);
            std::uint64_t five = 1;
            for (int k = 0; k < e; ++k) {
                five *= 5;
            }
            std::uint64_t y = 0;
            do {
                y = (two_53 + random() % two_53) / five * five;
            } while (y < two_53 || (y / five) % 2 == 0);
            if (i % 5 == 3) {
                field += std::to_string(y / five) + "E+" + std::to_string(e);
            } else {
                int q = 1 + static_cast<int>(random() % 3);
                field += std::to_string(y * (q == 1 ? 5 : q == 2 ? 25 : 125)) + "E-" + std::to_string(q);
            }
        }
        }
        field += std::string(random() % 3, ' ');
        expect_as_strtod(field);
        ASSERT_FALSE(HasFailure()) << "stopped at the first wrong field";
    }
}

// Every value of two databases, bit for bit.
void expect_same_database(const thermo_database &a, const thermo_database &b)
{
    ASSERT_EQ(a.species_count, b.species_count);
    ASSERT_EQ(a.interval_count, b.interval_count);
    for (int i = 0; i < a.species_count; ++i) {
        const species_record *ra = database_species(&a, i);
        const species_record *rb = database_species(&b, i);
        ASSERT_STREQ(record_name(ra), record_name(rb));
        species_record fa = *ra; // all but the line it was read from
        species_record fb = *rb;
        fa.line_number = fb.line_number = 0;
        std::size_t bytes = static_cast<std::size_t>(record_name(ra) - reinterpret_cast<const char *>(ra + 1));
        ASSERT_EQ(std::memcmp(&fa, &fb, sizeof fa), 0) << record_name(ra);
        ASSERT_EQ(std::memcmp(ra + 1, rb + 1, bytes), 0) << record_name(ra);
    }
}

// The text from a file through chunks of `chunk` bytes, or from a pipe (size
// unknown); arena_bytes > 0 starts the storage that small, so that it grows.
int load_through(const std::string &text, bool from_pipe, std::size_t chunk, std::size_t arena_bytes,
                 thermo_database *db, failure *error)
{
    int ends[2] = {-1, -1};
    if (!from_pipe) {
        ends[0] = memfd_create("thermo", 0);
        EXPECT_EQ(write(ends[0], text.data(), text.size()), static_cast<ssize_t>(text.size()));
        lseek(ends[0], 0, SEEK_SET);
        int status = load_thermo_descriptor(ends[0], "test.inp", chunk, arena_bytes, db, error);
        close(ends[0]);
        return status;
    }
    std::signal(SIGPIPE, SIG_IGN); // the reader may stop before the writer is done
    EXPECT_EQ(pipe(ends), 0);
    std::thread writer([&text, &ends] {
        for (std::size_t done = 0; done < text.size();) {
            ssize_t n = write(ends[1], text.data() + done, text.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        close(ends[1]);
    });
    int status = load_thermo_descriptor(ends[0], "test.inp", chunk, arena_bytes, db, error);
    close(ends[0]);
    writer.join();
    return status;
}

// Parses the text in memory and every streamed way (line ends on every
// chunk boundary, arenas that must grow), which must give the same status
// and message or records. Returns the status; *message is the refusal's
// text less its "malformed thermodynamic database test.inp: ".
int parse_every_way(const std::string &text, std::string *message, thermo_database *parsed = nullptr)
{
    thermo_database expected;
    failure error;
    int status = parse_thermo_text(text.data(), text.size(), "test.inp", &expected, &error);
    *message = status == CEA_OK ? "" : error.text;
    for (std::size_t chunk : {129, 130, 157, 4096}) {
        for (bool from_pipe : {false, true}) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + (from_pipe ? " pipe" : " file"));
            thermo_database db;
            failure stream_error;
            EXPECT_EQ(load_through(text, from_pipe, chunk, chunk == 157 ? 1024 : 0, &db, &stream_error), status);
            if (status == CEA_OK) {
                expect_same_database(expected, db);
            } else {
                EXPECT_EQ(*message, stream_error.text);
            }
            release_thermo_database(&db);
        }
    }
    const std::string head = "malformed thermodynamic database test.inp: ";
    if (message->rfind(head, 0) == 0) {
        message->erase(0, head.size());
    }
    if (parsed != nullptr && status == CEA_OK) {
        *parsed = expected;
    } else {
        release_thermo_database(&expected);
    }
    return status;
}

// The shipped database: its records, each found by its name (a repeated
// name, a phase with a transition inside it such as Co(b), finds its first
// record), read alike every way, with lines longer than the chunk (only
// their first columns and whether the rest is blank count), a CR as the
// last byte of the first chunk, and no final line end.
TEST(thermo_reader, shipped_database_every_way)
{
    const std::string text = read_file(LRE_THERMO_DATABASE);
    thermo_database db;
    std::string message;
    ASSERT_EQ(parse_every_way(text, &message, &db), CEA_OK) << message;
    EXPECT_EQ(db.species_count, 2086);
    int intervals = 0;
    for (int i = 0; i < db.species_count; ++i) {
        const species_record *r = database_species(&db, i);
        int found = find_species(&db, record_name(r));
        ASSERT_TRUE(found >= 0 && found <= i) << record_name(r);
        EXPECT_STREQ(record_name(database_species(&db, found)), record_name(r));
        intervals += r->interval_count;
    }
    EXPECT_EQ(intervals, db.interval_count);
    EXPECT_STREQ(record_name(database_species(&db, find_species(&db, "Co(b)") + 1)), "Co(b)");
    for (const char *unknown : {"O2(L", "", "o2(L)", "O2(L) "}) {
        EXPECT_EQ(find_species(&db, unknown), -1) << unknown;
    }
    release_thermo_database(&db);

    std::size_t first_record = text.find('\n', text.find('\n', text.find("\nthermo") + 1) + 1) + 1;
    const std::string head = text.substr(0, first_record);
    const std::string records = text.substr(first_record, text.find("END PRODUCTS") - first_record);
    const std::string tail = text.substr(text.find("END PRODUCTS"));
    std::string split = head + records + tail;
    split.insert(split.find("\r\n", 4000), 4095 - split.find("\r\n", 4000), ' ');
    ASSERT_EQ(split[4095], '\r');
    for (const std::string &same :
         {head + "!" + std::string(70000, 'x') + "\r\n" + std::string(50000, ' ') + "\r\n" + records + tail, split,
          text.substr(0, text.find_last_not_of("\r\n") + 1)}) {
        EXPECT_EQ(parse_every_way(same, &message), CEA_OK) << message;
    }
    int stray_line = static_cast<int>(std::count(head.begin(), head.end(), '\n')) + 1;
    EXPECT_EQ(parse_every_way(head + std::string(50000, ' ') + "x\r\n" + records + tail, &message),
              CEA_MALFORMED_DATABASE);
    EXPECT_EQ(message, "line " + std::to_string(stray_line) + ": a species name must begin in column 1");
}

// The small database (tests/data) written other ways that mean the same:
// CRLF ends, blank and comment lines between records, exponents and counts
// written wider, a name ended by a tab, repeated fields that differ only in
// their width (the reader remembers fields by their text).
TEST(thermo_reader, equivalent_texts_read_alike)
{
    const std::string text = read_file(CEA_TEST_DATA_DIR "/thermo_small_lf.inp");
    thermo_database db;
    failure error;
    ASSERT_EQ(parse_thermo_text(text.data(), text.size(), "test.inp", &db, &error), CEA_OK) << error.text;
    ASSERT_EQ(db.species_count, 13);
    std::string crlf;
    for (char c : text) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    for (const std::string &same : {
             crlf,
             replaced(replaced(text, "CO2  ", "\n  \n! note\n\nCO2  "), "END PRODUCTS", "\n\nEND PRODUCTS"),
             replaced(text, "7 -2.0 -1.0", "7-2.00 -1.0"),
             replaced(replaced(text, " 3 tpis79", "3. tpis79"), "CO2     ", "CO2\t    "),
             replaced(text, "   28.0101000", "  28.01010000"),
             replaced(text, "    200.000   1000.0007", "   200.0000  1000.00007", text.find("\nH2  ")),
         }) {
        thermo_database other;
        std::string message;
        ASSERT_EQ(parse_every_way(same, &message, &other), CEA_OK) << message;
        expect_same_database(db, other);
        release_thermo_database(&other);
    }
    const std::string bits = replaced(text, "    200.000   1000.0007", "    200.001   1000.0007", text.find("\nH2  "));
    thermo_database other;
    ASSERT_EQ(parse_thermo_text(bits.data(), bits.size(), "test.inp", &other, &error), CEA_OK);
    EXPECT_EQ(record_intervals(database_species(&other, 3))[0].t_low_k, 200.001);
    EXPECT_EQ(record_intervals(database_species(&other, 4))[0].t_low_k, 200.0);
    release_thermo_database(&other);
    release_thermo_database(&db);
}

// The small database broken in one place at a time, a row each: "cut N"
// (its first N lines) or the first FROM replaced by TO (~ a line end), and
// the refusal, which names the line and what is wrong there.
TEST(thermo_reader, each_damage_is_refused_with_its_line)
{
    const char *table = R"(cut 0|the file is empty
cut 1|the text ends after line 1 without a line that begins with 'thermo'
thermo|hellos|line 2: expected the line that begins with 'thermo'
cut 2|the text ends after line 2 before the common temperature bounds
   1000.00|   abc    |line 3: the common temperature bounds (four fields of 10 columns) must increase
   6000.00|   1000.00|line 3: the common temperature bounds (four fields of 10 columns) must increase
 3 tpis79|10 tpis79|line 5: the number of temperature intervals (columns 1-2) must be 0 to 9
 3 tpis79|-1 tpis79|line 5: the number of temperature intervals (columns 1-2) must be 0 to 9
C   1.00O|C   1.x0O|line 5: an atom count of the formula (columns 11-50) is not a number
C   1.00O|1   1.00O|line 5: an element symbol of the formula (columns 11-50) is not a symbol
C   1.00O   1.00|C   0.00O   0.00|line 5: the formula (columns 11-50) names no element
0.00 0   28.0101|0.00.5   28.0101|line 5: the phase (columns 51-52) is not an integer
0.00 0   28.0101|0.00 x   28.0101|line 5: the phase (columns 51-52) is not an integer
   28.0101000|    0.0000000|line 5: the molecular weight (columns 53-65) is not a positive number
   28.0101000|   28.01x1000|line 5: the molecular weight (columns 53-65) is not a positive number
-110535.196|-110535.1x6|line 5: the enthalpy (columns 66-80) is not a number
cut 5|the text ends after line 5 inside a temperature interval
    200.000   1000.0007|   1000.000   1000.0007|line 6: the temperature interval (columns 1-22) must be two increasing positive numbers
    200.000   1000.0007|      0.000   1000.0007|line 6: the temperature interval (columns 1-22) must be two increasing positive numbers
    200.000   1000.0007|    2x0.000   1000.0007|line 6: the temperature interval (columns 1-22) must be two increasing positive numbers
   1000.0007 -2.0|   1000.0008 -2.0|line 6: the number of coefficients (column 23) must be 7
7 -2.0 -1.0  0.0|7 -2.0 -1.0  0.5|line 6: the exponents (columns 24-63) must be -2 -1 0 1 2 3 4 0
cut 6|the text ends after line 6 inside a temperature interval
 1.489045326D+04| 1.48904532xD+04|line 7: a coefficient a1-a5 (five fields of 16 columns) is not a number
 1.456903469D-05|                |line 7: a coefficient a1-a5 (five fields of 16 columns) is not a number
 1.489045326D+04|~ 1.489045326D+04|line 7: a coefficient a1-a5 (five fields of 16 columns) is not a number
cut 7|the text ends after line 7 inside a temperature interval
-1.087746302D-08|-1.08774630#D-08|line 8: a coefficient a6-a7 (columns 1-32) is not a number
 3.027941827D-12| 3.02794182 D-12|line 8: a coefficient a6-a7 (columns 1-32) is not a number
-1.303131878D+04|-1.30313187xD+04|line 8: an integration constant b1-b2 (columns 49-80) is not a number
-7.859241350D+00|                |line 8: an integration constant b1-b2 (columns 49-80) is not a number
   1000.000   6000.0007|    900.000   6000.0007|line 9: temperature intervals must follow one another in increasing order
cut 4|the text ends after line 4 inside a species record
CO2     | CO2    |line 15: a species name must begin in column 1
cut 112|the text ends after line 112 before END PRODUCTS
END PRODUCTS|END REACTANTS|line 113: END REACTANTS before END PRODUCTS
CH4(L)  |END PRODUCTS~CH4(L)  |line 114: a second END PRODUCTS
cut 115|the text ends after line 115 inside a species record
    111.643|   -111.643|line 116: the temperature of the assigned enthalpy (columns 1-11) is not a positive number
cut 119|the text ends after line 119 before END REACTANTS)";
    const std::string t = read_file(CEA_TEST_DATA_DIR "/thermo_small_lf.inp");
    std::istringstream rows(table);
    for (std::string row; std::getline(rows, row);) {
        SCOPED_TRACE(row);
        std::replace(row.begin(), row.end(), '~', '\n');
        std::size_t bar = row.find('|'), last = row.rfind('|');
        std::string text = t.substr(0, 0);
        if (row.rfind("cut ", 0) == 0) {
            for (int n = std::stoi(row.substr(4)); n > 0; --n) {
                text += t.substr(text.size(), t.find('\n', text.size()) + 1 - text.size());
            }
        } else {
            text = replaced(t, row.substr(0, bar), row.substr(bar + 1, last - bar - 1));
            ASSERT_NE(text, t);
        }
        std::string message;
        EXPECT_EQ(parse_every_way(text, &message), CEA_MALFORMED_DATABASE);
        EXPECT_EQ(message, row.substr(last + 1));
    }
}

} // namespace
