// The page of lre-ui and its assets: a fixed table of names, read once at
// start into memory, so that no request ever reaches the file system.
#ifndef LRE_UI_ASSETS_H
#define LRE_UI_ASSETS_H

#include <string>

enum { ui_asset_count = 4 };

struct ui_asset {
    const char *url_path;     // what a request names, e.g. "/app.js"
    const char *file_name;    // the file in the asset folder
    const char *content_type; // sent with it
    std::string body;
};

struct ui_assets {
    char folder[1024]; // where the page was read from
    ui_asset assets[ui_asset_count];
};

// Reads the page and its assets. The folder is folder_option when not null,
// else the first that holds index.html of: share/lre-perf/ui beside the
// program's bin folder, the share folder of the configured install prefix,
// and ui/ beside the program (in the build tree, a link to the source's). Chart.js is read from the same folder when it
// holds a copy, else from the system's package. Returns 1, or 0 with a message.
int load_ui_assets(ui_assets *assets, const char *folder_option, char *error_buffer, int error_size);

// The asset a request path names, or null.
const ui_asset *find_ui_asset(const ui_assets *assets, const char *url_path);

#endif
