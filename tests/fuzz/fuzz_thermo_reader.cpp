// libFuzzer target over the database readers. Any input reads or is refused
// with CEA_MALFORMED_DATABASE, without a crash, hang or undefined behaviour;
// a compiled file's refusal names a byte offset; a text read from a file in
// chunks of 131 bytes into an arena that must grow gives the status, message
// and species of the text read in memory; a text that reads and compiles
// reads back compiled as the same species; every species that reads is
// found by its name (as itself or an earlier record of that name).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include "thermo_compiled_writer.h"
#include "thermo_database.h"

using namespace cea_impl;

namespace {

void check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

void check_read(int status, const failure &error, thermo_database *db, const thermo_database *same)
{
    check(status == CEA_OK || (status == CEA_MALFORMED_DATABASE && (db->file == nullptr || same != nullptr ||
                                                                    std::strstr(error.text, " at byte ") != nullptr)));
    for (int i = 0; status == CEA_OK && i < db->species_count; ++i) {
        const char *name = record_name(database_species(db, i));
        int found = find_species(db, name);
        check(found >= 0 && found <= i && std::strcmp(record_name(database_species(db, found)), name) == 0);
        check(same == nullptr || std::strcmp(name, record_name(database_species(same, i))) == 0);
    }
    check(same == nullptr || db->species_count == same->species_count);
    release_thermo_database(db);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    thermo_database db;
    failure error;
    if (is_compiled_thermo(data, size)) {
        check_read(parse_thermo_compiled(data, size, "fuzz", &db, &error), error, &db, nullptr);
        return 0;
    }
    int status = parse_thermo_text(reinterpret_cast<const char *>(data), size, "fuzz", &db, &error);
    int fd = memfd_create("fuzz", 0);
    check(fd >= 0 && write(fd, data, size) == static_cast<ssize_t>(size) && lseek(fd, 0, SEEK_SET) == 0);
    thermo_database streamed;
    failure stream_error;
    check(load_thermo_descriptor(fd, "fuzz", 131, 1024, &streamed, &stream_error) == status);
    close(fd);
    check(status == CEA_OK || std::strcmp(error.text, stream_error.text) == 0);
    check_read(status, stream_error, &streamed, status == CEA_OK ? &db : nullptr);
    byte_buffer compiled = {nullptr, 0, 0};
    if (status == CEA_OK &&
        compile_thermo_text(reinterpret_cast<const char *>(data), size, "fuzz", &compiled, &error) == CEA_OK) {
        thermo_database lib;
        check(parse_thermo_compiled(compiled.data, compiled.length, "fuzz", &lib, &error) == CEA_OK);
        check_read(CEA_OK, error, &lib, &db);
    }
    release_byte_buffer(&compiled);
    check_read(status, error, &db, nullptr);
    return 0;
}
