// lre-ui: a local web interface over the performance core. This unit reads
// the command line and sets up the signals that stop the server.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <pthread.h>

#include "ui_server.h"

static const char *const default_host = "127.0.0.1";
static const int default_port = 8080;
static const long port_max = 65535;

static void print_usage(const char *program_name)
{
    std::printf("Usage: %s THERMO_LIB [--port N] [--host ADDR] [--assets DIR]\n", program_name);
    std::puts("  --port N      TCP port to listen on (default 8080; 0 picks a free one)");
    std::puts("  --host ADDR   address to listen on (default 127.0.0.1, this machine only)");
    std::puts("  --assets DIR  folder of the page (default: the installed one, else the source tree's)");
    std::puts("  --help        print this text");
    std::puts("  --version     print the version");
    std::puts("Serves the page and its API until interrupted (SIGINT or SIGTERM).");
    std::puts("The server has no authentication: keep it on a loopback address.");
}

static int parse_port(const char *text, int *port)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > port_max) {
        return 0;
    }
    *port = static_cast<int>(value);
    return 1;
}

int main(int argc, char **argv)
{
    const char *program_name = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : "lre-ui";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            print_usage(program_name);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lre-ui %s\n", LRE_VERSION);
            return 0;
        }
    }
    if (argc < 2) {
        print_usage(program_name);
        return 1;
    }
    ui_server_options options = {argv[1], default_host, default_port, nullptr};
    for (int i = 2; i < argc; i += 2) {
        const char *option = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "lre-ui: %s needs a value.\n", option);
            return 1;
        }
        const char *value = argv[i + 1];
        if (std::strcmp(option, "--port") == 0) {
            if (!parse_port(value, &options.port)) {
                std::fprintf(stderr, "lre-ui: --port must be a whole number from 0 to 65535, not '%s'.\n", value);
                return 1;
            }
        } else if (std::strcmp(option, "--host") == 0) {
            options.host = value;
        } else if (std::strcmp(option, "--assets") == 0) {
            options.assets_folder = value;
        } else {
            std::fprintf(stderr, "lre-ui: unknown option '%s' (see --help).\n", option);
            return 1;
        }
    }

    // The stop signals are blocked in every thread and taken by one waiting
    // thread, which stops the server outside any signal handler.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    // A client that goes away mid-answer must not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    return ui_serve(&options, &stop_signals) ? 0 : 1;
}
