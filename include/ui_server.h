// The HTTP server of lre-ui: the page, its assets and the calculation API.
#ifndef LRE_UI_SERVER_H
#define LRE_UI_SERVER_H

#include <csignal>

struct ui_server_options {
    const char *thermo_lib;
    const char *host;
    int port;                  // 0 picks a free port
    const char *assets_folder; // null: the installed page, else the source tree's
};

// Opens the database, binds, prints the address to open on standard output
// and serves until one of stop_signals arrives (they must be blocked in
// every thread). Returns 1 after a clean stop, 0 with a message on standard
// error when the server could not start.
int ui_serve(const ui_server_options *options, const sigset_t *stop_signals);

#endif
