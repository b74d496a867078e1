// The HTTP side of lre-ui: routes, limits and the stop on a signal. The
// answers themselves come from ui_api and ui_assets.
#include "ui_server.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <httplib.h>
#include <pthread.h>
#include <sys/socket.h>

#include "ui_api.h"
#include "ui_assets.h"
#include "ui_chambers.h"

// What one connection may cost: a slow client cannot hold a worker for long.
static const int read_timeout_s = 5;
static const int write_timeout_s = 10;
static const int keep_alive_timeout_s = 2;
static const int keep_alive_max_requests = 100;
// Workers: a kept-alive connection holds one, and a browser opens several.
static const int worker_threads = 16;
static const int payload_max_bytes = 1024;

enum { message_size = 512 };

static int is_loopback(const char *host)
{
    return std::strcmp(host, "localhost") == 0 || std::strncmp(host, "127.", 4) == 0 || std::strcmp(host, "::1") == 0;
}

static void send_answer(const ui_answer *answer, httplib::Response *response)
{
    response->status = answer->status;
    response->set_header("Cache-Control", "no-store");
    response->set_content(answer->body, answer->content_type);
}

// The query as the client wrote it: what follows the first '?' of the
// request target, still percent-encoded.
static const char *raw_query(const httplib::Request &request)
{
    const std::size_t mark = request.target.find('?');
    return mark == std::string::npos ? "" : request.target.c_str() + mark + 1;
}

static void add_routes(httplib::Server *server, const ui_assets *assets, ui_chambers *chambers,
                       const std::atomic<int> *stopping)
{
    server->Get("/api/modules", [](const httplib::Request &, httplib::Response &response) {
        ui_answer answer;
        ui_api_modules(&answer);
        send_answer(&answer, &response);
    });
    server->Get("/api/case", [chambers](const httplib::Request &request, httplib::Response &response) {
        ui_answer answer;
        ui_api_case(chambers, raw_query(request), &answer);
        send_answer(&answer, &response);
    });
    server->Get("/api/sweep", [chambers, stopping](const httplib::Request &request, httplib::Response &response) {
        ui_answer answer;
        ui_api_sweep(chambers, raw_query(request), ui_sweep_max_cases, stopping, &answer);
        send_answer(&answer, &response);
    });
    // Only the fixed table of assets: the path of a request is a key, never
    // part of a file name.
    server->Get(R"(/.*)", [assets](const httplib::Request &request, httplib::Response &response) {
        const ui_asset *asset = find_ui_asset(assets, request.path.c_str());
        if (asset == nullptr) {
            ui_answer answer;
            ui_set_error(&answer, 404, "no such page or endpoint");
            send_answer(&answer, &response);
            return;
        }
        response.set_header("X-Content-Type-Options", "nosniff");
        response.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self' data:");
        response.set_content(asset->body, asset->content_type);
    });
}

// Waits for a stop signal, then stops the server; when the server ends on
// its own, SIGUSR1 sent to this thread alone wakes it.
static void wait_for_stop(const sigset_t *wait_signals, httplib::Server *server, std::atomic<int> *stopping)
{
    int signal_number = 0;
    sigwait(wait_signals, &signal_number);
    stopping->store(1);
    server->stop();
}

int ui_serve(const ui_server_options *options, const sigset_t *stop_signals)
{
    ui_assets assets;
    char message[message_size] = {0};
    if (!load_ui_assets(&assets, options->assets_folder, message, message_size)) {
        std::fprintf(stderr, "lre-ui: %s\n", message);
        return 0;
    }
    ui_chambers chambers;
    if (!ui_chambers_open(&chambers, options->thermo_lib, message, message_size)) {
        std::fprintf(stderr, "CEA initialization: %s\n", message);
        return 0;
    }

    httplib::Server server;
    server.set_read_timeout(read_timeout_s, 0);
    server.set_write_timeout(write_timeout_s, 0);
    server.set_keep_alive_timeout(keep_alive_timeout_s);
    server.set_keep_alive_max_count(keep_alive_max_requests);
    server.set_payload_max_length(payload_max_bytes);
    server.new_task_queue = [] { return new httplib::ThreadPool(worker_threads); };
    // Address reuse only: the library's default also sets SO_REUSEPORT, with
    // which a second lre-ui on the same port would share its connections
    // instead of being refused.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    std::atomic<int> stopping(0);
    add_routes(&server, &assets, &chambers, &stopping);

    int port = options->port;
    const int bound =
        port == 0 ? server.bind_to_any_port(options->host) : (server.bind_to_port(options->host, port) ? port : -1);
    if (bound <= 0) {
        std::fprintf(stderr, "lre-ui: cannot listen on %s port %d\n", options->host, port);
        ui_chambers_close(&chambers);
        return 0;
    }
    port = bound;
    if (!is_loopback(options->host)) {
        std::fprintf(stderr,
                     "lre-ui: warning: listening on %s, reachable from other machines; lre-ui has no "
                     "authentication, anyone who can reach it can use it.\n",
                     options->host);
    }
    const int bracket = std::strchr(options->host, ':') != nullptr;
    std::printf("lre-ui %s: open http://%s%s%s:%d/ in a browser (page from %s); stop with Ctrl-C\n", LRE_VERSION,
                bracket ? "[" : "", options->host, bracket ? "]" : "", port, assets.folder);
    std::fflush(stdout);

    // Blocked here before any thread starts, so that every thread inherits it.
    sigset_t wait_signals = *stop_signals;
    sigaddset(&wait_signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &wait_signals, nullptr);
    std::thread stopper(wait_for_stop, &wait_signals, &server, &stopping);
    server.listen_after_bind();
    pthread_kill(stopper.native_handle(), SIGUSR1);
    stopper.join();
    ui_chambers_close(&chambers);
    std::puts("lre-ui: stopped");
    return 1;
}
