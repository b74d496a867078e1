// The database reader: exact number conversion, the records of the shipped
// database, LF and CRLF alike, and a message naming the line for every kind
// of malformed text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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
        {" 4.943650540D+04", 1},
        {"-7.689988780D-10", 1},
        {" 5.691053860D-16", 1},
        {" 1.016847056D+06", 1},
        {"-1.544423287D+09", 1},
        {"   31.9988000", 1},
        {"     -12979.000", 1},
        {"  20000.", 1},
        {"7.2057594037927933D+16", 1},
        {"9.999999999999999999D-25", 1},
        {"1.23456789012345678901D+00", 1},
        {"1.0D+300", 1},
        {"4.9406564584124654D-300", 1},
        {"0.0000000000000000001D+00", 1},
        {" +1.5e3 ", 1},
        {".5", 1},
        {"5.", 1},
        {"-0.000", 1},
        {"", 0},
        {"    ", 0},
        {"1.5D+", 0},
        {"--1", 0},
        {"1.0+05", 0},
        {"1.2.3", 0},
        {"D+04", 0},
        {"1.0D+999", 0},
        {"12 34", 0},
        {"0x10", 0},
        {".", 0},
        // The database's own shapes, read on their fast paths, and their
        // near misses, which go to the general reader.
        {" 1.234567890E-25", 1},
        {"-0.000000000D+00", 1},
        {" 9.999999999D+99", 1},
        {" 1.000000000D-99", 1},
        {"1.234567890D+04 ", 1},
        {" 1.234567890D+4 ", 1},
        {" 4.940656458D-324", 1},
        {" 1.797693134D+308", 1},
        {"  -12979.000", 1},
        {"1.5\t", 1},
        {"+.5", 1},
        {"12345678901234567890", 1},
        {" 1.23456789xD+04", 0},
        {" 1.797693135D+308", 0},
        {"5.5.5", 0},
        {" 1.234567890D+04x", 0},
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

// Fields of the database's shape with random digits and exponents from
// 10^-60 to 10^40, and plain decimals of up to 19 digits, convert to the
// bits strtod gives: every path of the reader (one operation, 128-bit,
// extended precision, the verified division, strtod) against the C library.
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
        SCOPED_TRACE(field);
        double value = 0.0;
        ASSERT_EQ(parse_fixed_number(field, static_cast<std::size_t>(n), &value), 1);
        double expected = reference_strtod(field);
        ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << value << " vs " << expected;
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
                continue; // not a coefficient (references, blank columns)
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
    EXPECT_EQ(db.species_count, 2086);

    int o2_liquid = find_species(&db, "O2(L)");
    ASSERT_GE(o2_liquid, 0);
    const species_record *o2 = database_species(&db, o2_liquid);
    EXPECT_STREQ(record_name(o2), "O2(L)");
    EXPECT_EQ(o2->product, 0);
    EXPECT_EQ(o2->interval_count, 0);
    EXPECT_EQ(o2->molecular_weight_kg_kmol, 31.9988);
    EXPECT_EQ(o2->enthalpy_j_mol, -12979.0);
    EXPECT_EQ(o2->assigned_temperature_k, 90.17);

    int rp1 = find_species(&db, "RP-1");
    ASSERT_GE(rp1, 0);
    ASSERT_EQ(database_species(&db, rp1)->element_count, 2);
    EXPECT_STREQ(record_element_symbol(database_species(&db, rp1), 1), "H");
    EXPECT_EQ(record_element_amounts(database_species(&db, rp1))[1], 1.95);

    int co2 = find_species(&db, "CO2");
    ASSERT_GE(co2, 0);
    const species_record *c = database_species(&db, co2);
    EXPECT_EQ(c->product, 1);
    EXPECT_EQ(c->condensed, 0);
    ASSERT_EQ(c->interval_count, 3);
    const thermo_interval &first = record_intervals(c)[0];
    EXPECT_EQ(first.t_low_k, 200.0);
    EXPECT_EQ(first.t_high_k, 1000.0);
    EXPECT_EQ(first.a[0], 4.943650540e+04);
    EXPECT_EQ(first.b[1], -7.048279440e+00);
    EXPECT_EQ(record_intervals(c)[2].a[6], -8.842351500e-16);

    // Phases with a transition inside them repeat a name: every record is
    // kept, and the first is found.
    int cobalt = find_species(&db, "Co(b)");
    ASSERT_GE(cobalt, 0);
    EXPECT_STREQ(record_name(database_species(&db, cobalt + 1)), "Co(b)");
    EXPECT_LT(record_intervals(database_species(&db, cobalt))[0].t_low_k,
              record_intervals(database_species(&db, cobalt + 1))[0].t_low_k);

    // Every record is found by its name (the first of a repeated name).
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
        // The fixed part, the intervals and the amounts are doubles and
        // small integers laid out alike.
        std::size_t bytes = static_cast<std::size_t>(record_element_symbol(ra, 0) - reinterpret_cast<const char *>(ra));
        EXPECT_EQ(std::memcmp(ra, rb, bytes), 0) << record_name(ra);
    }
}

// The text read back through a descriptor in chunks of `chunk` bytes: a
// regular (memory) file, or a pipe, whose size is not known up front;
// arena_bytes > 0 starts the storage that small, so that it has to grow.
enum source_kind { regular_file, pipe_stream };

int load_through(const std::string &text, source_kind kind, std::size_t chunk, thermo_database *db, failure *error,
                 std::size_t arena_bytes = 0)
{
    if (kind == regular_file) {
        int fd = memfd_create("thermo", 0);
        EXPECT_GE(fd, 0);
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

// The text through memory and through files and pipes with chunks that put
// line ends everywhere: the same status and message, or the same records.
// Returns the status and the message of the memory parse.
int parse_every_way(const std::string &text, std::string *message)
{
    thermo_database expected;
    failure error;
    int status = parse_thermo_text(text.data(), text.size(), "test.inp", &expected, &error);
    *message = status == CEA_OK ? "" : error.text;
    const std::size_t chunks[] = {129, 130, 157, 4096};
    for (std::size_t chunk : chunks) {
        for (source_kind kind : {regular_file, pipe_stream}) {
            // A small chunk with an arena that must grow as well.
            std::size_t arena = chunk == 157 ? 1024 : 0;
            SCOPED_TRACE("chunk " + std::to_string(chunk) + (kind == regular_file ? " file" : " pipe"));
            thermo_database db;
            failure stream_error;
            int stream_status = load_through(text, kind, chunk, &db, &stream_error, arena);
            EXPECT_EQ(stream_status, status);
            if (status == CEA_OK && stream_status == CEA_OK) {
                expect_same_database(expected, db);
            } else if (status != CEA_OK) {
                EXPECT_EQ(*message, stream_error.text);
            }
            release_thermo_database(&db);
        }
    }
    release_thermo_database(&expected);
    return status;
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
    thermo_database a, b, file;
    failure error;
    ASSERT_EQ(parse_thermo_text(crlf.data(), crlf.size(), "crlf", &a, &error), CEA_OK) << error.text;
    ASSERT_EQ(parse_thermo_text(lf.data(), lf.size(), "lf", &b, &error), CEA_OK) << error.text;
    ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &file, &error), CEA_OK) << error.text;
    expect_same_database(a, b);
    expect_same_database(a, file);
    // Streamed in small chunks, from a file and from a pipe, into an arena
    // that starts small and grows.
    for (source_kind kind : {regular_file, pipe_stream}) {
        thermo_database streamed;
        ASSERT_EQ(load_through(crlf, kind, 131, &streamed, &error, 4096), CEA_OK) << error.text;
        expect_same_database(a, streamed);
        release_thermo_database(&streamed);
    }
    release_thermo_database(&a);
    release_thermo_database(&b);
    release_thermo_database(&file);
}

// Fields that repeat are read once and remembered by their text: texts
// that differ in their last column, or only in their width, keep their own
// values.
TEST(thermo_reader, fields_that_differ_in_their_last_column)
{
    auto gas = [](const char *name, const char *amount, const char *t_low, const char *t_high) {
        return std::string(name) + std::string(18 - std::strlen(name), ' ') + "test" + std::string(58, ' ') +
               "\n 1 g 3/98 AR" + amount + "    0.00    0.00    0.00    0.00 0   39.9480000          0.000\n" + t_low +
               t_high +
               "7 -2.0 -1.0  0.0  1.0  2.0  3.0  4.0  0.0         6197.428\n"
               " 0.000000000D+00 0.000000000D+00 2.500000000D+00 0.000000000D+00 0.000000000D+00\n"
               " 0.000000000D+00 0.000000000D+00                -7.453750000D+02 4.379674910D+00\n";
    };
    const std::string text = "thermo\n    200.00   1000.00   6000.00  20000.     9/09/04\n" +
                             gas("A1", "  1.00", "    200.000", "   6000.000") +
                             gas("A2", "  1.01", "    200.001", "   6000.000") +
                             gas("A3", "  1.00", "    200.000", "   6000.001") +
                             gas("A4", " 1.000", "   200.0000", "   6000.000") + "END PRODUCTS\nEND REACTANTS\n";
    thermo_database db;
    failure error;
    ASSERT_EQ(parse_thermo_text(text.data(), text.size(), "test.inp", &db, &error), CEA_OK) << error.text;
    const double amounts[] = {1.00, 1.01, 1.00, 1.0};
    const double t_low[] = {200.0, 200.001, 200.0, 200.0};
    const double t_high[] = {6000.0, 6000.0, 6000.001, 6000.0};
    ASSERT_EQ(db.species_count, 4);
    for (int i = 0; i < 4; ++i) {
        const species_record *r = database_species(&db, i);
        EXPECT_EQ(record_element_amounts(r)[0], amounts[i]) << i;
        EXPECT_EQ(record_intervals(r)[0].t_low_k, t_low[i]) << i;
        EXPECT_EQ(record_intervals(r)[0].t_high_k, t_high[i]) << i;
    }
    release_thermo_database(&db);
}

// Lines longer than the chunk (only their first columns and whether the
// rest is blank count), a CRLF split between two chunks, no line end at the
// end, and a text from a pipe that outgrows the first guess at its storage.
TEST(thermo_reader, streams_any_line_layout)
{
    std::string text = read_file(LRE_THERMO_DATABASE);
    std::size_t thermo_line = text.find("\nthermo");
    ASSERT_NE(thermo_line, std::string::npos);
    std::size_t first_record = text.find('\n', text.find('\n', thermo_line + 1) + 1) + 1; // after the bounds
    std::string head = text.substr(0, first_record);
    std::string records = text.substr(first_record, text.find("END PRODUCTS") - first_record);
    const std::string tail = text.substr(text.find("END PRODUCTS"));

    std::string long_lines =
        head + "!" + std::string(70000, 'x') + "\r\n" + std::string(50000, ' ') + "\r\n" + records + tail;
    std::string message;
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
    std::string big = head + records + records + records + tail;
    thermo_database from_memory, from_pipe;
    failure error;
    ASSERT_EQ(parse_thermo_text(big.data(), big.size(), "test.inp", &from_memory, &error), CEA_OK) << error.text;
    ASSERT_EQ(load_through(big, pipe_stream, 65536, &from_pipe, &error), CEA_OK) << error.text;
    expect_same_database(from_memory, from_pipe);
    int products = 0;
    for (int i = 0; i < from_memory.species_count; ++i) {
        products += database_species(&from_memory, i)->product;
    }
    EXPECT_EQ(from_memory.species_count - products, 2086 - products / 3); // the reactants once
    release_thermo_database(&from_memory);
    release_thermo_database(&from_pipe);
}

// Memory for objects comes from the arena's spare room, zeroed, and is
// taken back when given back last-lent first; what does not fit, or has no
// arena, comes from the heap.
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

    thermo_database empty;
    init_thermo_database(&empty);
    void *heap = lend_object_memory(&empty, 64);
    ASSERT_NE(heap, nullptr);
    EXPECT_TRUE(zeroed(heap, 64));
    return_object_memory(&empty, heap, 64);
}

// A path that cannot be opened or read.
TEST(thermo_reader, unreadable_paths)
{
    thermo_database db;
    failure error;
    EXPECT_EQ(load_thermo_file(CEA_TEST_DATA_DIR "/no-such-file.inp", &db, &error), CEA_INVALID_FILENAME);
    EXPECT_NE(std::strstr(error.text, "cannot open"), nullptr) << error.text;
    EXPECT_EQ(load_thermo_file(CEA_TEST_DATA_DIR, &db, &error), CEA_INVALID_FILENAME);
    EXPECT_NE(std::strstr(error.text, "cannot read"), nullptr) << error.text;
    EXPECT_EQ(db.arena, nullptr);
    // An endless source is read up to a size no database comes near.
    EXPECT_EQ(load_thermo_file("/dev/zero", &db, &error), CEA_MALFORMED_DATABASE);
    EXPECT_NE(std::strstr(error.text, "more than"), nullptr) << error.text;
    EXPECT_EQ(db.arena, nullptr);
}

struct malformed_case {
    const char *what;
    int line;         // reported line, 0 for the empty text
    const char *text; // part of the message
};

// A small valid text is broken in one place at a time.
TEST(thermo_reader, malformed_text_names_the_line)
{
    const std::string header = "! comment\nthermo\n    200.00   1000.00   6000.00  20000.     9/09/04\n";
    const std::string gas = "AR                Ref-Elm. Moore,1971. Gordon,1999.                             \n"
                            " 1 g 3/98 AR  1.00    0.00    0.00    0.00    0.00 0   39.9480000          0.000\n"
                            "    200.000   6000.0007 -2.0 -1.0  0.0  1.0  2.0  3.0  4.0  0.0         6197.428\n"
                            " 0.000000000D+00 0.000000000D+00 2.500000000D+00 0.000000000D+00 0.000000000D+00\n"
                            " 0.000000000D+00 0.000000000D+00                -7.453750000D+02 4.379674910D+00\n";
    const std::string liquid = "O2(L)             Oxygen.                                                       \n"
                               " 0 g 6/96 O   2.00    0.00    0.00    0.00    0.00 1   31.9988000     -12979.000\n"
                               "     90.170      0.0000  0.0  0.0  0.0  0.0  0.0  0.0  0.0  0.0            0.000\n";
    const std::string good = header + gas + "END PRODUCTS\n" + liquid + "END REACTANTS\n";
    {
        thermo_database db;
        failure error;
        ASSERT_EQ(parse_thermo_text(good.data(), good.size(), "good", &db, &error), CEA_OK) << error.text;
        ASSERT_EQ(db.species_count, 2);
        release_thermo_database(&db);
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
        {{"a6 a7", 8, "a6-a7"},
         replaced(" 0.000000000D+00 0.000000000D+00                -7",
                  " 0.000000000D+00 0.0000000#0D+00                -7")},
        {{"b1 b2", 8, "b1-b2"}, replaced("4.379674910D+00", "               ")},
        {{"assigned temperature", 12, "assigned enthalpy"}, replaced("     90.170", "     -90.17")},
        {{"name column", 10, "column 1"}, replaced("O2(L)   ", " O2(L)  ")},
        {{"order of ends", 9, "END REACTANTS before END PRODUCTS"}, replaced("END PRODUCTS\n", "END REACTANTS\n")},
        {{"two product ends", 10, "second END PRODUCTS"}, replaced("O2(L)   ", "END PRODUCTS\nO2(L)   ")},
        {{"truncated record", 7, "ends after line 7"},
         good.substr(0, good.find(" 0.000000000D+00 0.000000000D+00                -7"))},
        {{"no END REACTANTS", 12, "before END REACTANTS"}, good.substr(0, good.find("END REACTANTS"))},
        {{"a blank line inside a record", 6, "temperature interval"},
         replaced("    200.000   6000", "\n    200.000   6000")},
    };
    for (const text_case &c : cases) {
        SCOPED_TRACE(c.expect.what);
        std::string message;
        EXPECT_EQ(parse_every_way(c.text, &message), CEA_MALFORMED_DATABASE);
        EXPECT_NE(message.find(c.expect.text), std::string::npos) << message;
        if (c.expect.line > 0) {
            EXPECT_NE(message.find("line " + std::to_string(c.expect.line)), std::string::npos) << message;
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
        SCOPED_TRACE(entry->d_name);
        std::string message;
        int status = parse_every_way(text, &message);
        EXPECT_TRUE(status == CEA_OK || status == CEA_MALFORMED_DATABASE) << message;
        ++files;
    }
    closedir(dir);
    EXPECT_GT(files, 0);
}

} // namespace
