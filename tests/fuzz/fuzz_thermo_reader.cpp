// libFuzzer target over the database reader: any text either parses or is
// refused with CEA_MALFORMED_DATABASE, without a crash, a hang or undefined
// behaviour; and the same text streamed from a file in small chunks (every
// line end on some chunk boundary) into a small arena that has to grow
// gives the same status, message and records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    cea_impl::thermo_database database;
    cea_impl::failure error;
    int status = cea_impl::parse_thermo_text(reinterpret_cast<const char *>(data), size, "fuzz", &database, &error);
    if (status != CEA_OK && status != CEA_MALFORMED_DATABASE) {
        std::abort();
    }
    if (status == CEA_OK) {
        // What the reader accepted is internally consistent: every record
        // is found by its name, as itself or as an earlier record of it.
        int intervals = 0;
        for (int i = 0; i < database.species_count; ++i) {
            const cea_impl::species_record *s = cea_impl::database_species(&database, i);
            int found = cea_impl::find_species(&database, cea_impl::record_name(s));
            if (found < 0 || found > i || s->interval_count > cea_impl::max_interval_count) {
                std::abort();
            }
            intervals += s->interval_count;
        }
        if (intervals != database.interval_count) {
            std::abort();
        }
    }
    check_streamed(data, size, status, error, database);
    cea_impl::release_thermo_database(&database);
    return 0;
}
