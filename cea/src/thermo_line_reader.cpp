// The line reader of the text database. A file is streamed through one
// small buffer that is reused for every chunk: in a fresh process every new
// memory page costs far more than the parsing of the text that fills it.
// A short line counts as blank-padded, which is how LF files with trimmed
// trailing blanks read in Fortran too.
#include "thermo_line_reader.h"

#include <cerrno>
#include <unistd.h>

namespace cea_impl {

static void refill(line_reader *r)
{
    while (!r->at_end) {
        ssize_t got = read(r->fd, r->chunk + r->end, r->capacity - r->end);
        if (got > 0) {
            r->end += static_cast<std::size_t>(got);
            r->total_read += static_cast<std::size_t>(got);
            if (r->total_read > max_text_bytes) {
                r->too_large = 1;
                r->at_end = 1;
            }
            return;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        r->read_failed = got < 0;
        r->at_end = 1;
        return;
    }
}

// A whole line loses the CR of a CRLF end; a long line, cut to its kept
// columns, has no end to lose (and its CR is blank like the rest).
static int deliver(line_reader *r, const char *text, std::size_t length, int whole, int tail_nonblank, line_view *line)
{
    if (whole && length > 0 && text[length - 1] == '\r') {
        --length;
    }
    ++r->line_number;
    line->text = text;
    line->length = length;
    line->number = r->line_number;
    line->tail_nonblank = tail_nonblank;
    return 1;
}

// A line that fills the whole chunk: keep its first columns where they are
// and read on to its end, noting whether anything but blanks follows.
static int next_long_line(line_reader *r, line_view *line)
{
    int tail_nonblank = 0;
    const char *newline = nullptr;
    for (;;) {
        const char *from = r->chunk + kept_columns;
        std::size_t n = r->end - kept_columns;
        newline = static_cast<const char *>(std::memchr(from, '\n', n));
        std::size_t scanned = newline != nullptr ? static_cast<std::size_t>(newline - from) : n;
        if (!tail_nonblank && !field_is_blank(from, scanned)) {
            tail_nonblank = 1;
        }
        if (newline != nullptr) {
            break;
        }
        r->end = kept_columns;
        refill(r);
        if (r->end == kept_columns) {
            break; // the text ends inside the line
        }
    }
    r->start = newline != nullptr ? static_cast<std::size_t>(newline + 1 - r->chunk) : r->end;
    return deliver(r, r->chunk, kept_columns, 0, tail_nonblank, line);
}

int next_line(line_reader *r, line_view *line)
{
    const char *newline = nullptr;
    for (;;) {
        if (r->start < r->end) {
            newline = static_cast<const char *>(std::memchr(r->data + r->start, '\n', r->end - r->start));
        }
        if (newline != nullptr || r->at_end) {
            break;
        }
        if (r->start > 0) {
            std::memmove(r->chunk, r->chunk + r->start, r->end - r->start);
            r->end -= r->start;
            r->start = 0;
        }
        if (r->end == r->capacity) {
            return next_long_line(r, line);
        }
        refill(r);
    }
    const char *text = r->data + r->start;
    std::size_t length = 0;
    if (newline != nullptr) {
        length = static_cast<std::size_t>(newline - text);
        r->start += length + 1;
    } else {
        if (r->start >= r->end) {
            return 0;
        }
        length = r->end - r->start;
        r->start = r->end;
    }
    return deliver(r, text, length, 1, 0, line);
}

static int is_comment(const line_view *line) { return line->length > 0 && line->text[0] == '!'; }

static int is_blank_line(const line_view *line)
{
    return !line->tail_nonblank && field_is_blank(line->text, line->length);
}

int next_data_line(line_reader *r, line_view *line, int skip_blank)
{
    while (next_line(r, line)) {
        if (is_comment(line)) {
            continue;
        }
        if (skip_blank && is_blank_line(line)) {
            continue;
        }
        return 1;
    }
    return 0;
}

} // namespace cea_impl
