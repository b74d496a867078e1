// The database reader: exact number conversion, the records of the shipped
// database, LF and CRLF alike, and a message naming the line for every kind
// of malformed text.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

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

// strtod of the field with Fortran's D exponent read as E: the bits that
// every accepted field must convert to.
void expect_converts_as_strtod(const char *field, std::size_t length)
{
    std::string text(field, length);
    std::replace(text.begin(), text.end(), 'D', 'E');
    double expected = std::strtod(text.c_str(), nullptr);
    double value = -12345.0;
    ASSERT_EQ(parse_fixed_number(field, length, &value), 1) << field;
    EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << field << ": " << value << " vs " << expected;
}

// The database's own shapes (read on their fast paths) and their near
// misses, plain decimals, 20 digits and extreme exponents (the strtod
// fallback), and the edges of the syntax.
TEST(fixed_column_number, converts_exactly_or_refuses)
{
    const char *accepted[] = {" 4.943650540D+04",
                              " 1.234567890E-25",
                              "-0.000000000D+00",
                              " 9.999999999D+99",
                              " 4.940656458D-324",
                              " 1.797693134D+308",
                              "1.234567890D+04 ",
                              " 1.234567890D+4 ",
                              "     -12979.000",
                              " +1.5e3 ",
                              ".5",
                              "5.",
                              "+.5",
                              "-0.000",
                              "1.5\t",
                              "12345678901234567890",
                              "7.2057594037927933D+16",
                              "1.23456789012345678901D+00",
                              "0.0000000000000000001D+00",
                              "4.9406564584124654D-300"};
    for (const char *field : accepted) {
        expect_converts_as_strtod(field, std::strlen(field));
    }
    const char *refused[] = {"",
                             "    ",
                             "1.5D+",
                             "--1",
                             "1.0+05",
                             "1.2.3",
                             "D+04",
                             "1.0D+999",
                             "12 34",
                             "0x10",
                             ".",
                             " 1.23456789xD+04",
                             " 1.797693135D+308",
                             " 1.234567890D+04x"};
    for (const char *field : refused) {
        double value = 0.0;
        EXPECT_EQ(parse_fixed_number(field, std::strlen(field), &value), 0) << "'" << field << "'";
    }
}

// Random fields of the database's shape (10^-60 to 10^40) and decimals of up
// to 19 digits take every path of the reader; each must give strtod's bits.
TEST(fixed_column_number, random_fields_convert_as_strtod_does)
{
    std::mt19937_64 random(20260601);
    char field[40];
    for (int i = 0; i < 40000; ++i) {
        unsigned long long digits = random() % 10000000000ull;
        int exponent = static_cast<int>(random() % 101) - 60;
        int n = 0;
        if (i % 4 != 3) {
            n = std::snprintf(field, sizeof field, "%c%llu.%09lluD%+03d", i % 2 ? '-' : ' ', digits / 1000000000ull,
                              digits % 1000000000ull, exponent);
        } else {
            unsigned long long more = random() % 1000000000ull;
            n = std::snprintf(field, sizeof field, "  %llu.%llu", digits, more);
        }
        expect_converts_as_strtod(field, static_cast<std::size_t>(n));
        ASSERT_FALSE(HasFailure()) << "stopped at the first wrong field";
    }
}

TEST(thermo_reader, shipped_database)
{
    thermo_database db;
    failure error;
    ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &db, &error), CEA_OK) << error.text;
    EXPECT_EQ(db.species_count, 2086);
    // Every record is found by its name; a name that repeats (phases with a
    // transition inside them, such as Co(b)) finds its first record.
    int intervals = 0;
    for (int i = 0; i < db.species_count; ++i) {
        const species_record *r = database_species(&db, i);
        int found = find_species(&db, record_name(r));
        ASSERT_GE(found, 0) << record_name(r);
        EXPECT_LE(found, i);
        EXPECT_STREQ(record_name(database_species(&db, found)), record_name(r));
        intervals += r->interval_count;
    }
    EXPECT_EQ(intervals, db.interval_count);
    int cobalt = find_species(&db, "Co(b)");
    EXPECT_STREQ(record_name(database_species(&db, cobalt + 1)), "Co(b)");
    EXPECT_EQ(find_species(&db, "O2(L"), -1);
    EXPECT_EQ(find_species(&db, ""), -1);
    release_thermo_database(&db);
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
        ASSERT_EQ(ra->interval_count, rb->interval_count);
        ASSERT_EQ(ra->element_count, rb->element_count);
        // The fixed part, the intervals and the amounts: doubles and small
        // integers laid out alike.
        std::size_t bytes = static_cast<std::size_t>(record_element_symbol(ra, 0) - reinterpret_cast<const char *>(ra));
        EXPECT_EQ(std::memcmp(ra, rb, bytes), 0) << record_name(ra);
    }
}

// The text read in chunks from a regular file or from a pipe (size unknown);
// arena_bytes > 0 starts the storage that small, so that it has to grow.
int load_through(const std::string &text, bool from_pipe, std::size_t chunk, std::size_t arena_bytes,
                 thermo_database *db, failure *error)
{
    if (!from_pipe) {
        int fd = memfd_create("thermo", 0);
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        lseek(fd, 0, SEEK_SET);
        int status = load_thermo_descriptor(fd, "test.inp", chunk, arena_bytes, db, error);
        close(fd);
        return status;
    }
    std::signal(SIGPIPE, SIG_IGN); // the reader may stop before the writer is done
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    std::thread writer([&text, &ends] {
        std::size_t done = 0;
        while (done < text.size()) {
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

// Every way of reading must give the memory parse's status and message, or
// its records (handed back in *parsed when asked), with line ends anywhere.
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
            // A small chunk with an arena that must grow as well.
            int stream_status = load_through(text, from_pipe, chunk, chunk == 157 ? 1024 : 0, &db, &stream_error);
            EXPECT_EQ(stream_status, status);
            if (status == CEA_OK && stream_status == CEA_OK) {
                expect_same_database(expected, db);
            } else if (status != CEA_OK) {
                EXPECT_EQ(*message, stream_error.text);
            }
            release_thermo_database(&db);
        }
    }
    if (parsed != nullptr && status == CEA_OK) {
        *parsed = expected;
    } else {
        release_thermo_database(&expected);
    }
    return status;
}

// The head of a small database, and its one gas record (argon, 200 K to 6000 K).
const std::string small_header = "! comment\nthermo\n    200.00   1000.00   6000.00  20000.     9/09/04\n";
const std::string argon = "AR                Ref-Elm. Moore,1971. Gordon,1999.                             \n"
                          " 1 g 3/98 AR  1.00    0.00    0.00    0.00    0.00 0   39.9480000          0.000\n"
                          "    200.000   6000.0007 -2.0 -1.0  0.0  1.0  2.0  3.0  4.0  0.0         6197.428\n"
                          " 0.000000000D+00 0.000000000D+00 2.500000000D+00 0.000000000D+00 0.000000000D+00\n"
                          " 0.000000000D+00 0.000000000D+00                -7.453750000D+02 4.379674910D+00\n";

// Repeated fields are read once and remembered by their text: texts that
// differ in their last column, or only in their width, keep their own values.
TEST(thermo_reader, fields_that_differ_in_their_last_column)
{
    auto copy = [](const char *name, const char *amount, const char *interval) {
        std::string r = std::string(argon).replace(0, 2, name);
        r.replace(r.find("AR  1.00"), 8, std::string("AR") + amount);
        return r.replace(r.find("    200.000   6000.000"), 22, interval);
    };
    const std::string text = small_header + copy("A1", "  1.00", "    200.000   6000.000") +
                             copy("A2", "  1.01", "    200.001   6000.000") +
                             copy("A3", "  1.00", "    200.000   6000.001") +
                             copy("A4", " 1.000", "   200.0000   6000.000") + "END PRODUCTS\nEND REACTANTS\n";
    thermo_database db;
    failure error;
    ASSERT_EQ(parse_thermo_text(text.data(), text.size(), "test.inp", &db, &error), CEA_OK) << error.text;
    ASSERT_EQ(db.species_count, 4);
    const double expected[4][3] = {{1.00, 200.0, 6000.0},
                                   {1.01, 200.001, 6000.0},
                                   {1.00, 200.0, 6000.001},
                                   {1.0, 200.0, 6000.0}}; // amount, interval from, to
    for (int i = 0; i < 4; ++i) {
        const species_record *r = database_species(&db, i);
        EXPECT_EQ(record_element_amounts(r)[0], expected[i][0]) << i;
        EXPECT_EQ(record_intervals(r)[0].t_low_k, expected[i][1]) << i;
        EXPECT_EQ(record_intervals(r)[0].t_high_k, expected[i][2]) << i;
    }
    release_thermo_database(&db);
}

// The shipped database (CRLF) read every way, with LF ends and from its file;
// lines longer than the chunk (only their first columns and whether the rest
// is blank count), a split CRLF, no final line end, and a text that outgrows
// the first guess at its storage.
TEST(thermo_reader, streams_any_line_layout)
{
    std::string text = read_file(LRE_THERMO_DATABASE);
    std::string lf = text;
    lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
    ASSERT_NE(lf.size(), text.size());
    thermo_database a, b, file;
    std::string message;
    failure error;
    ASSERT_EQ(parse_every_way(text, &message, &a), CEA_OK) << message;
    ASSERT_EQ(parse_thermo_text(lf.data(), lf.size(), "lf", &b, &error), CEA_OK) << error.text;
    ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &file, &error), CEA_OK) << error.text;
    expect_same_database(a, b);
    expect_same_database(a, file);
    release_thermo_database(&a);
    release_thermo_database(&b);
    release_thermo_database(&file);

    std::size_t thermo_line = text.find("\nthermo");
    ASSERT_NE(thermo_line, std::string::npos);
    std::size_t first_record = text.find('\n', text.find('\n', thermo_line + 1) + 1) + 1; // after the bounds
    std::string head = text.substr(0, first_record);
    std::string records = text.substr(first_record, text.find("END PRODUCTS") - first_record);
    const std::string tail = text.substr(text.find("END PRODUCTS"));

    std::string long_lines =
        head + "!" + std::string(70000, 'x') + "\r\n" + std::string(50000, ' ') + "\r\n" + records + tail;
    EXPECT_EQ(parse_every_way(long_lines, &message), CEA_OK) << message;

    std::string stray = head + std::string(50000, ' ') + "x\r\n" + records + tail;
    int stray_line = static_cast<int>(std::count(head.begin(), head.end(), '\n')) + 1;
    EXPECT_EQ(parse_every_way(stray, &message), CEA_MALFORMED_DATABASE);
    EXPECT_NE(message.find("line " + std::to_string(stray_line) + ": a species name"), std::string::npos) << message;

    // The CR of a line end as the last byte of the first chunk of 4096.
    std::string split = head + records + tail;
    std::size_t crlf = split.find("\r\n", 4000);
    split.insert(crlf, std::string(4095 - crlf, ' '));
    ASSERT_EQ(split[4095], '\r');
    EXPECT_EQ(parse_every_way(split, &message), CEA_OK) << message;

    std::string unterminated = text.substr(0, text.find_last_not_of("\r\n") + 1);
    EXPECT_EQ(parse_every_way(unterminated, &message), CEA_OK) << message;

    // Three copies of the products: more than the first guess for a pipe.
    thermo_database big;
    ASSERT_EQ(parse_every_way(head + records + records + records + tail, &message, &big), CEA_OK) << message;
    int products = 0;
    for (int i = 0; i < big.species_count; ++i) {
        products += database_species(&big, i)->product;
    }
    EXPECT_EQ(big.species_count - products, 2086 - products / 3); // the reactants once
    release_thermo_database(&big);
}

// Object memory comes zeroed from the arena's spare room and is taken back
// when returned last-lent first; what does not fit comes from the heap.
TEST(thermo_reader, lends_object_memory_from_its_arena)
{
    thermo_database db;
    failure error;
    ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &db, &error), CEA_OK) << error.text;
    auto in_arena = [&db](const void *p) {
        const char *c = static_cast<const char *>(p);
        return c >= db.arena + db.arena_used && c < db.arena + db.arena_capacity;
    };
    auto zeroed = [](const void *p, std::size_t n) {
        const unsigned char *c = static_cast<const unsigned char *>(p);
        return std::all_of(c, c + n, [](unsigned char x) { return x == 0; });
    };
    void *a = lend_object_memory(&db, 1000);
    void *b = lend_object_memory(&db, 2000);
    ASSERT_TRUE(in_arena(a) && in_arena(b));
    EXPECT_GE(static_cast<char *>(b), static_cast<char *>(a) + 1000);
    std::memset(b, 0x5a, 2000);
    return_object_memory(&db, b, 2000);
    void *c = lend_object_memory(&db, 2000);
    EXPECT_EQ(c, b);
    EXPECT_TRUE(zeroed(c, 2000));
    return_object_memory(&db, a, 1000); // out of order: stays lent
    return_object_memory(&db, c, 2000);
    void *d = lend_object_memory(&db, 100);
    EXPECT_EQ(d, c);
    void *big = lend_object_memory(&db, db.arena_capacity);
    ASSERT_NE(big, nullptr);
    EXPECT_FALSE(in_arena(big));
    EXPECT_TRUE(zeroed(big, 4096));
    return_object_memory(&db, big, db.arena_capacity);
    return_object_memory(&db, d, 100);
    release_thermo_database(&db);
}

// A small valid text broken in one place at a time: the message names the
// line and what is wrong there.
TEST(thermo_reader, malformed_text_names_the_line)
{
    const std::string liquid = "O2(L)             Oxygen.                                                       \n"
                               " 0 g 6/96 O   2.00    0.00    0.00    0.00    0.00 1   31.9988000     -12979.000\n"
                               "     90.170      0.0000  0.0  0.0  0.0  0.0  0.0  0.0  0.0  0.0            0.000\n";
    const std::string good = small_header + argon + "END PRODUCTS\n" + liquid + "END REACTANTS\n";
    // AR with its interval twice: the second does not follow the first.
    const std::string overlapping = small_header + std::string(argon).replace(argon.find(" 1 g"), 4, " 2 g") +
                                    argon.substr(argon.find("    200.000")) + "END PRODUCTS\n" + liquid +
                                    "END REACTANTS\n";
    std::string message;
    ASSERT_EQ(parse_every_way(good, &message), CEA_OK) << message;
    auto replaced = [&](const std::string &from, const std::string &to) {
        std::string text = good;
        std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const struct {
        int line;         // reported line, 0 for the empty text
        const char *text; // part of the message
        std::string database;
    } cases[] = {
        {0, "empty", ""},
        {1, "thermo", "hello\n"},
        {2, "'thermo'", "! a\n! b\n"},
        {3, "common temperature bounds", replaced("   1000.00", "   abc    ")},
        {5, "intervals", replaced(" 1 g 3/98", "10 g 3/98")},
        {5, "atom count", replaced("AR  1.00", "AR  1.x0")},
        {5, "names no element", replaced("AR  1.00", "AR  0.00")},
        {5, "element symbol", replaced("AR  1.00", "1R  1.00")},
        {5, "molecular weight", replaced("39.9480000", "-9.9480000")},
        {6, "temperature interval", replaced("   6000.0007", "    100.0007")},
        {6, "coefficients", replaced("6000.0007", "6000.0009")},
        {6, "exponents", replaced("-2.0 -1.0  0.0", "-2.0 -1.0  0.5")},
        {9, "increasing order", overlapping},
        {7, "a1-a5", replaced("2.500000000D+00", "2.50000000QD+00")},
        {8, "a6-a7",
         replaced(" 0.000000000D+00 0.000000000D+00                -7",
                  " 0.000000000D+00 0.0000000#0D+00                -7")},
        {8, "b1-b2", replaced("4.379674910D+00", "               ")},
        {12, "assigned enthalpy", replaced("     90.170", "     -90.17")},
        {10, "column 1", replaced("O2(L)   ", " O2(L)  ")},
        {9, "END REACTANTS before END PRODUCTS", replaced("END PRODUCTS\n", "END REACTANTS\n")},
        {10, "second END PRODUCTS", replaced("O2(L)   ", "END PRODUCTS\nO2(L)   ")},
        {7, "ends after line 7", good.substr(0, good.find(" 0.000000000D+00 0.000000000D+00                -7"))},
        {12, "before END REACTANTS", good.substr(0, good.find("END REACTANTS"))},
        {6, "temperature interval", replaced("    200.000   6000", "\n    200.000   6000")}, // a blank line
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parse_every_way(c.database, &message), CEA_MALFORMED_DATABASE);
        EXPECT_NE(message.find(c.text), std::string::npos) << message;
        if (c.line > 0) {
            EXPECT_NE(message.find("line " + std::to_string(c.line)), std::string::npos) << message;
        }
    }
}

// The reader's fuzzing seeds and past findings still parse or fail cleanly.
TEST(thermo_reader, fuzz_corpus_is_handled)
{
    DIR *dir = opendir(CEA_FUZZ_CORPUS_DIR);
    ASSERT_NE(dir, nullptr);
    int files = 0;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            SCOPED_TRACE(entry->d_name);
            std::string message;
            int status = parse_every_way(read_file(std::string(CEA_FUZZ_CORPUS_DIR "/") + entry->d_name), &message);
            EXPECT_TRUE(status == CEA_OK || status == CEA_MALFORMED_DATABASE) << message;
            ++files;
        }
    }
    closedir(dir);
    EXPECT_GT(files, 0);
}

} // namespace
