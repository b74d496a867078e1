// libFuzzer target over the database readers: any input either reads or is
// refused with CEA_MALFORMED_DATABASE, without a crash, a hang or undefined
// behaviour. A text streamed from a file in small chunks (every line end on
// some chunk boundary) into a small arena that has to grow gives the same
// status, message and records; a text that reads compiles, unless the
// compiled form cannot hold it, into a file that reads as the same species.
// An input that begins as a compiled file goes to the compiled reader, whose
// records must all build and agree with its directory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include "thermo_compiled_writer.h"
#include "thermo_database.h"

namespace {

// Just over the 128 columns that the reader keeps of a long line, and an
// arena that has to grow for anything but a few records.
const std::size_t small_chunk = 131;
const std::size_t small_arena = 1024;

void check_streamed(const std::uint8_t *data, std::size_t size, int status, const cea_impl::failure &error,
                    const cea_impl::thermo_database &expected)
{
    int fd = memfd_create("fuzz", 0);
    if (fd < 0) {
        return;
    }
    if (write(fd, data, size) != static_cast<ssize_t>(size) || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return;
    }
    cea_impl::thermo_database streamed;
    cea_impl::failure stream_error;
    int stream_status =
        cea_impl::load_thermo_descriptor(fd, "fuzz", small_chunk, small_arena, &streamed, &stream_error);
    close(fd);
    if (stream_status != status || (status != CEA_OK && std::strcmp(stream_error.text, error.text) != 0) ||
        (status == CEA_OK &&
         (streamed.species_count != expected.species_count || streamed.interval_count != expected.interval_count))) {
        std::abort();
    }
    for (int i = 0; status == CEA_OK && i < expected.species_count; ++i) {
        if (std::strcmp(cea_impl::record_name(cea_impl::database_species(&expected, i)),
                        cea_impl::record_name(cea_impl::database_species(&streamed, i))) != 0) {
            std::abort();
        }
    }
    cea_impl::release_thermo_database(&streamed);
}

// What any database that read must hold: every record found by its name,
// as itself or as an earlier record of it, its elements as the directory
// gives them, and the intervals counted.
void check_consistent(const cea_impl::thermo_database &database)
{
    int intervals = 0;
    for (int i = 0; i < database.species_count; ++i) {
        const cea_impl::species_record *s = cea_impl::database_species(&database, i);
        int found = cea_impl::find_species(&database, cea_impl::record_name(s));
        if (found < 0 || found > i || s->interval_count > cea_impl::max_interval_count) {
            std::abort();
        }
        if (database.file != nullptr) {
            const cea_impl::compiled_species *d = &cea_impl::compiled_directory(&database)[i];
            std::uint64_t mask = 0;
            int complete = 1;
            for (int e = 0; e < s->element_count; ++e) {
                int bit = cea_impl::compiled_element_bit(
                    &database, cea_impl::element_symbol_code(cea_impl::record_element_symbol(s, e)));
                complete &= bit >= 0;
                mask |= bit >= 0 ? std::uint64_t{1} << bit : 0;
            }
            if (d->product != s->product || d->mask_complete != complete || (complete && d->element_mask != mask)) {
                std::abort();
            }
        }
        intervals += s->interval_count;
    }
    if (intervals != database.interval_count) {
        std::abort();
    }
}

void check_compiled(const std::uint8_t *data, std::size_t size)
{
    cea_impl::thermo_database database;
    cea_impl::failure error;
    int status = cea_impl::parse_thermo_compiled(data, size, "fuzz", &database, &error);
    if (status != CEA_OK && status != CEA_MALFORMED_DATABASE) {
        std::abort();
    }
    if (status == CEA_OK) {
        check_consistent(database);
    } else if (std::strstr(error.text, " at byte ") == nullptr) {
        std::abort(); // a refusal names the record and its offset
    }
    cea_impl::release_thermo_database(&database);
}

// The text's compiled form reads as the same species, in the same order.
void check_round_trip(const std::uint8_t *data, std::size_t size, const cea_impl::thermo_database &text)
{
    cea_impl::byte_buffer compiled = {nullptr, 0, 0};
    cea_impl::failure error;
    if (cea_impl::compile_thermo_text(reinterpret_cast<const char *>(data), size, "fuzz", &compiled, &error) !=
        CEA_OK) {
        return; // what the compiled form cannot hold
    }
    cea_impl::thermo_database database;
    if (cea_impl::parse_thermo_compiled(compiled.data, compiled.length, "fuzz", &database, &error) != CEA_OK ||
        database.species_count != text.species_count) {
        std::abort();
    }
    for (int i = 0; i < text.species_count; ++i) {
        const cea_impl::species_record *a = cea_impl::database_species(&text, i);
        const cea_impl::species_record *b = cea_impl::database_species(&database, i);
        if (std::strcmp(cea_impl::record_name(a), cea_impl::record_name(b)) != 0 ||
            a->element_count != b->element_count || a->condensed != b->condensed) {
            std::abort();
        }
    }
    check_consistent(database);
    cea_impl::release_thermo_database(&database);
    cea_impl::release_byte_buffer(&compiled);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (cea_impl::is_compiled_thermo(data, size)) {
        check_compiled(data, size);
        return 0;
    }
    cea_impl::thermo_database database;
    cea_impl::failure error;
    int status = cea_impl::parse_thermo_text(reinterpret_cast<const char *>(data), size, "fuzz", &database, &error);
    if (status != CEA_OK && status != CEA_MALFORMED_DATABASE) {
        std::abort();
    }
    if (status == CEA_OK) {
        check_consistent(database);
        check_round_trip(data, size, database);
    }
    check_streamed(data, size, status, error, database);
    cea_impl::release_thermo_database(&database);
    return 0;
}
