// Opening a database file: the form is told by the file's first bytes,
// never by its name.
#include <fcntl.h>
#include <unistd.h>

#include "thermo_database.h"
#include "thermo_text_reader.h"

namespace cea_impl {

int load_thermo_file(const char *path, thermo_database *database, failure *error)
{
    init_thermo_database(database);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail(error, CEA_INVALID_FILENAME, "cannot open the thermodynamic database %s", path);
    }
    int status = load_thermo_descriptor(fd, path, text_read_chunk_bytes, 0, database, error);
    close(fd);
    return status;
}

} // namespace cea_impl
