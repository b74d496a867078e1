// Query strings of interface requests. Everything is decoded into fixed
// buffers: a part that does not fit is refused, never cut.
#include "ui_query.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

static void set_message(char *error_buffer, int error_size, const char *message)
{
    if (error_buffer != nullptr && error_size > 0) {
        std::snprintf(error_buffer, static_cast<std::size_t>(error_size), "%s", message);
    }
}

// A message with the offending part of the query, which is not terminated.
static void set_error(char *error_buffer, int error_size, const char *format, const char *part, int part_length)
{
    if (error_buffer != nullptr && error_size > 0) {
        std::snprintf(error_buffer, static_cast<std::size_t>(error_size), format, part_length, part);
    }
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

static int is_name_character(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

// Decodes text[0..length) into out (size bytes with the terminator); 0 when an
// escape is broken, the text holds a NUL or a control character, or it does
// not fit.
static int decode_part(const char *text, int length, char *out, int size)
{
    int written = 0;
    for (int i = 0; i < length; ++i) {
        int c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= length) {
                return 0;
            }
            const int high = hex_digit(text[i + 1]);
            const int low = hex_digit(text[i + 2]);
            if (high < 0 || low < 0) {
                return 0;
            }
            c = high * 16 + low;
            i += 2;
        } else if (c == '+') {
            c = ' ';
        }
        if (c < 0x20 || c == 0x7f || written + 1 >= size) {
            return 0;
        }
        out[written] = static_cast<char>(c);
        written = written + 1;
    }
    out[written] = '\0';
    return 1;
}

int parse_query(const char *raw, query_params *params, char *error_buffer, int error_size)
{
    params->count = 0;
    if (raw == nullptr) {
        return 1;
    }
    const std::size_t raw_length = std::strlen(raw);
    if (raw_length > query_max_raw) {
        set_message(error_buffer, error_size, "malformed query: longer than the limit");
        return 0;
    }
    const char *part = raw;
    while (*part != '\0') {
        const char *end = std::strchr(part, '&');
        const int length = static_cast<int>(end != nullptr ? end - part : static_cast<long>(std::strlen(part)));
        const char *equals = static_cast<const char *>(std::memchr(part, '=', static_cast<std::size_t>(length)));
        if (equals == nullptr || equals == part) {
            set_error(error_buffer, error_size, "malformed query: '%.*s' is not NAME=VALUE", part, length);
            return 0;
        }
        if (params->count >= query_max_pairs) {
            set_message(error_buffer, error_size, "malformed query: more parameters than the limit");
            return 0;
        }
        query_pair *pair = &params->pairs[params->count];
        const int name_length = static_cast<int>(equals - part);
        for (int i = 0; i < name_length; ++i) {
            if (!is_name_character(part[i])) {
                set_error(error_buffer, error_size, "malformed query: bad parameter name '%.*s'", part, name_length);
                return 0;
            }
        }
        if (name_length >= query_max_name) {
            set_error(error_buffer, error_size, "malformed query: bad parameter name '%.*s'", part, name_length);
            return 0;
        }
        std::memcpy(pair->name, part, static_cast<std::size_t>(name_length));
        pair->name[name_length] = '\0';
        if (!decode_part(equals + 1, length - name_length - 1, pair->value, query_max_value)) {
            set_error(error_buffer, error_size, "malformed query: bad value in '%.*s'", part, length);
            return 0;
        }
        params->count = params->count + 1;
        if (end == nullptr) {
            break;
        }
        part = end + 1;
    }
    return 1;
}

const char *query_value(const query_params *params, const char *name)
{
    const char *value = nullptr;
    for (int i = 0; i < params->count; ++i) {
        if (std::strcmp(params->pairs[i].name, name) == 0) {
            value = params->pairs[i].value;
        }
    }
    return value;
}

int query_count(const query_params *params, const char *name)
{
    int count = 0;
    for (int i = 0; i < params->count; ++i) {
        if (std::strcmp(params->pairs[i].name, name) == 0) {
            count = count + 1;
        }
    }
    return count;
}
