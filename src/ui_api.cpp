// The calculation API of lre-ui over the shared performance core.
#include "ui_api.h"

#include <cstdio>

#include "ui_query.h"

// Appends text as the inside of a JSON string.
static void append_json_text(std::string *out, const char *text)
{
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') {
            out->push_back('\\');
            out->push_back(static_cast<char>(*c));
        } else if (*c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned int>(*c));
            out->append(escape);
        } else {
            out->push_back(static_cast<char>(*c));
        }
    }
}

void ui_set_error(ui_answer *answer, int status, const char *message)
{
    answer->status = status;
    answer->content_type = "application/json";
    answer->body = "{\"error\": \"";
    append_json_text(&answer->body, message);
    answer->body += "\"}\n";
}

void ui_api_modules(ui_answer *answer) { ui_set_error(answer, 501, "not yet"); }

void ui_api_case(ui_chambers *chambers, const char *raw_query, ui_answer *answer)
{
    (void)chambers;
    (void)raw_query;
    ui_set_error(answer, 501, "not yet");
}

void ui_api_sweep(ui_chambers *chambers, const char *raw_query, const std::atomic<int> *stopping, ui_answer *answer)
{
    (void)chambers;
    (void)raw_query;
    (void)stopping;
    ui_set_error(answer, 501, "not yet");
}
