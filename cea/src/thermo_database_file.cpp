// Opening a database file: the form is told by the file's first bytes,
// never by its name.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "thermo_compiled_format.h"
#include "thermo_database.h"
#include "thermo_line_reader.h"
#include "thermo_text_reader.h"

namespace cea_impl {

// 1 when the regular file at fd begins as a compiled database; its size in
// *length.
static int holds_compiled(int fd, std::size_t *length)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        return 0;
    }
    unsigned char first[compiled_marker_bytes];
    ssize_t got = 0;
    do {
        got = pread(fd, first, sizeof first, 0);
    } while (got < 0 && errno == EINTR);
    *length = static_cast<std::size_t>(info.st_size);
    return got == static_cast<ssize_t>(sizeof first) && is_compiled_thermo(first, sizeof first);
}

int load_thermo_file(const char *path, thermo_database *database, failure *error)
{
    init_thermo_database(database);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail(error, CEA_INVALID_FILENAME, "cannot open the thermodynamic database %s", path);
    }
    std::size_t length = 0;
    int status = CEA_OK;
    if (!holds_compiled(fd, &length)) {
        status = load_thermo_descriptor(fd, path, text_read_chunk_bytes, 0, database, error);
    } else if (length > max_text_bytes) {
        status = fail(error, CEA_MALFORMED_DATABASE,
                      "malformed thermodynamic database %s: more than %zu bytes, which no database comes near", path,
                      max_text_bytes);
    } else {
        status = load_compiled_descriptor(fd, length, path, database, error);
    }
    close(fd);
    return status;
}

} // namespace cea_impl
