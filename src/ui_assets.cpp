// The page and its assets, read once from a fixed table of file names.
#include "ui_assets.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#ifndef LRE_UI_INSTALL_DIR
#define LRE_UI_INSTALL_DIR ""
#endif
#ifndef LRE_CHARTJS_PATH
#define LRE_CHARTJS_PATH ""
#endif

// Nothing that the page's own files are allowed to grow to is near this.
static const long asset_max_bytes = 4L * 1024L * 1024L;

static const char *const chartjs_file_name = "chart.min.js";

static int read_file(const char *path, std::string *body)
{
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr) {
        return 0;
    }
    body->clear();
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        body->append(chunk, got);
        if (static_cast<long>(body->size()) > asset_max_bytes) {
            std::fclose(file);
            return 0;
        }
    }
    const int ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

static int join_path(char *out, std::size_t size, const char *folder, const char *name)
{
    const int written = std::snprintf(out, size, "%s/%s", folder, name);
    return written > 0 && static_cast<std::size_t>(written) < size;
}

static int holds_page(const char *folder)
{
    char path[1100];
    if (folder == nullptr || folder[0] == '\0' || !join_path(path, sizeof path, folder, "index.html")) {
        return 0;
    }
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr) {
        return 0;
    }
    std::fclose(file);
    return 1;
}

static void set_message(char *error_buffer, int error_size, const char *message, const char *detail)
{
    if (error_buffer != nullptr && error_size > 0) {
        std::snprintf(error_buffer, static_cast<std::size_t>(error_size), "%s%s", message, detail);
    }
}

int load_ui_assets(ui_assets *assets, const char *folder_option, char *error_buffer, int error_size)
{
    static const ui_asset table[ui_asset_count] = {
        {"/", "index.html", "text/html; charset=utf-8", std::string()},
        {"/app.js", "app.js", "text/javascript; charset=utf-8", std::string()},
        {"/style.css", "style.css", "text/css; charset=utf-8", std::string()},
        {"/chart.js", chartjs_file_name, "text/javascript; charset=utf-8", std::string()},
    };
    // Beside the program: the installed tree's share folder (wherever the
    // tree was moved), or the build tree's link to the source tree's ui/.
    char installed[1024] = {0};
    char built[1024] = {0};
    char program[1024] = {0};
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length > 0) {
        program[length] = '\0';
        char *slash = std::strrchr(program, '/');
        if (slash != nullptr) {
            *slash = '\0';
            std::snprintf(installed, sizeof installed, "%s/../share/lre-perf/ui", program);
            std::snprintf(built, sizeof built, "%s/ui", program);
        }
    }
    const char *folder = nullptr;
    if (folder_option != nullptr) {
        folder = folder_option;
    } else if (holds_page(installed)) {
        folder = installed;
    } else if (holds_page(LRE_UI_INSTALL_DIR)) {
        folder = LRE_UI_INSTALL_DIR;
    } else {
        folder = built;
    }
    if (!holds_page(folder)) {
        set_message(error_buffer, error_size, "no page (index.html) in the asset folder ", folder);
        return 0;
    }
    std::snprintf(assets->folder, sizeof assets->folder, "%s", folder);
    for (int i = 0; i < ui_asset_count; ++i) {
        assets->assets[i] = table[i];
        char path[1100];
        if (!join_path(path, sizeof path, folder, table[i].file_name)) {
            set_message(error_buffer, error_size, "asset path too long: ", table[i].file_name);
            return 0;
        }
        if (read_file(path, &assets->assets[i].body)) {
            continue;
        }
        // Chart.js comes from the system's package unless the folder has one.
        if (std::strcmp(table[i].file_name, chartjs_file_name) == 0 &&
            read_file(LRE_CHARTJS_PATH, &assets->assets[i].body)) {
            continue;
        }
        set_message(error_buffer, error_size, "cannot read the asset ", path);
        return 0;
    }
    return 1;
}

const ui_asset *find_ui_asset(const ui_assets *assets, const char *url_path)
{
    for (int i = 0; i < ui_asset_count; ++i) {
        if (std::strcmp(assets->assets[i].url_path, url_path) == 0) {
            return &assets->assets[i];
        }
    }
    return nullptr;
}
