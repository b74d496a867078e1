// thermo-compile: compiles a text thermodynamic database (thermo.inp) into
// the compiled form (thermo.lib) that the equilibrium library also reads,
// and loads much faster. The output appears whole or not at all: it is
// written to a temporary file beside it, then renamed over it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "thermo_compiled_writer.h"

namespace {

const char usage_text[] = "Usage: thermo-compile INPUT OUTPUT\n"
                          "Compiles the thermodynamic database INPUT (the text form, thermo.inp) into OUTPUT in\n"
                          "the compiled form (thermo.lib), which the equilibrium library reads as it reads the text.\n"
                          "A text that the library refuses is refused with the same message, and OUTPUT is then\n"
                          "left as it was.\n"
                          "  --help     print this text and exit\n"
                          "  --version  print the version and exit\n";

// The whole file in a malloc'd buffer; 0 on failure (message printed).
int read_whole(const char *path, char **text, std::size_t *length)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "thermo-compile: cannot open %s: %s\n", path, std::strerror(errno));
        return 0;
    }
    std::size_t capacity = 1 << 20;
    std::size_t used = 0;
    char *data = static_cast<char *>(std::malloc(capacity));
    int ok = data != nullptr;
    while (ok) {
        if (used == capacity) {
            char *more = static_cast<char *>(std::realloc(data, capacity * 2));
            if (more == nullptr) {
                ok = 0;
                break;
            }
            data = more;
            capacity *= 2;
        }
        ssize_t got = read(fd, data + used, capacity - used);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            std::fprintf(stderr, "thermo-compile: cannot read %s: %s\n", path, std::strerror(errno));
            close(fd);
            std::free(data);
            return 0;
        }
        if (got == 0) {
            break;
        }
        used += static_cast<std::size_t>(got);
    }
    close(fd);
    if (!ok) {
        std::fprintf(stderr, "thermo-compile: out of memory reading %s\n", path);
        std::free(data);
        return 0;
    }
    *text = data;
    *length = used;
    return 1;
}

// Writes the bytes to path through a temporary file renamed over it.
int write_atomically(const char *path, const unsigned char *data, std::size_t length)
{
    std::size_t n = std::strlen(path);
    char *temporary = static_cast<char *>(std::malloc(n + 8));
    if (temporary == nullptr) {
        std::fprintf(stderr, "thermo-compile: out of memory\n");
        return 0;
    }
    std::memcpy(temporary, path, n);
    std::memcpy(temporary + n, ".XXXXXX", 8);
    int fd = mkstemp(temporary);
    if (fd < 0) {
        std::fprintf(stderr, "thermo-compile: cannot create a file beside %s: %s\n", path, std::strerror(errno));
        std::free(temporary);
        return 0;
    }
    int ok = 1;
    std::size_t done = 0;
    while (ok && done < length) {
        ssize_t put = write(fd, data + done, length - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        ok = put > 0;
        done += ok ? static_cast<std::size_t>(put) : 0;
    }
    // The file gets the permissions of a file made by open(): mkstemp's
    // 0600, widened by the umask's leave.
    mode_t mask = umask(0);
    umask(mask);
    ok = ok && fchmod(fd, 0666 & ~mask) == 0 && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary, path) == 0;
    if (!ok) {
        std::fprintf(stderr, "thermo-compile: cannot write %s: %s\n", path, std::strerror(errno));
        unlink(temporary);
    }
    std::free(temporary);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("thermo-compile %s\n", LRE_VERSION);
        return 0;
    }
    if (argc != 3 || argv[1][0] == '-' || argv[2][0] == '-') {
        std::fputs(usage_text, stderr);
        return 2;
    }
    char *text = nullptr;
    std::size_t length = 0;
    if (!read_whole(argv[1], &text, &length)) {
        return 1;
    }
    cea_impl::byte_buffer compiled = {nullptr, 0, 0};
    cea_impl::failure error;
    int status = cea_impl::compile_thermo_text(text, length, argv[1], &compiled, &error);
    std::free(text);
    if (status != CEA_OK) {
        std::fprintf(stderr, "thermo-compile: %s\n", error.text);
        return 1;
    }
    int ok = write_atomically(argv[2], compiled.data, compiled.length);
    cea_impl::release_byte_buffer(&compiled);
    return ok ? 0 : 1;
}
