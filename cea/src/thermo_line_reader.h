// The lines and fixed-column fields of the text database: a reader that
// hands out one physical line at a time, from a text in memory or streamed
// from a descriptor through one reused chunk, and the conversions of the
// fields cut out of a line's columns. The text reader and the compiler
// both read their fields through these, so that a field means the same to
// both.
#ifndef CEA_THERMO_LINE_READER_H
#define CEA_THERMO_LINE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fixed_column_number.h"

namespace cea_impl {

// Every field lies within the first 80 columns, so of a line longer than
// the chunk only this many columns are kept, and of the rest only whether
// it is blank.
static const std::size_t kept_columns = 128;
// No thermodynamic database comes near this size. The cap keeps the
// arena's offsets within 32 bits and ends the reading of an endless source
// (a device, a pipe that never closes) instead of running on forever.
static const std::size_t max_text_bytes = static_cast<std::size_t>(1) << 30;

struct line_view {
    const char *text;
    std::size_t length; // at most kept_columns for a line longer than the chunk
    int number;         // 1-based
    int tail_nonblank;  // a long line has something other than blanks past its kept columns
};

// The unread text is data[start, end): the whole text in memory, or the
// current chunk of a file (then chunk == data and more comes from fd).
struct line_reader {
    const char *data;
    char *chunk;
    int chunk_in_arena; // the chunk is the start of the database's arena
    std::size_t capacity;
    std::size_t start;
    std::size_t end;
    int fd;
    int at_end;
    int read_failed;
    std::size_t total_read;
    int too_large; // more than max_text_bytes
    int line_number;
};

// Next physical line, without its LF or CRLF. 0 at the end of the text.
int next_line(line_reader *r, line_view *line);

// Next line that is not a comment; blank lines are skipped only when
// skip_blank is set (between records, not inside one).
int next_data_line(line_reader *r, line_view *line, int skip_blank);

template <std::size_t size>
int starts_with(const line_view *line, const char (&prefix)[size])
{
    return line->length >= size - 1 && std::memcmp(line->text, prefix, size - 1) == 0;
}

// Columns first_column .. first_column + width - 1 (1-based) of the line,
// clipped to what the line holds.
inline void cut_field(const line_view *line, int first_column, int width, const char **field, std::size_t *field_width)
{
    std::size_t start = static_cast<std::size_t>(first_column - 1);
    std::size_t w = static_cast<std::size_t>(width);
    if (start >= line->length) {
        *field = line->text + line->length;
        *field_width = 0;
        return;
    }
    if (start + w > line->length) {
        w = line->length - start;
    }
    *field = line->text + start;
    *field_width = w;
}

inline int read_number(const line_view *line, int first_column, int width, double *value)
{
    const char *field = nullptr;
    std::size_t field_width = 0;
    cut_field(line, first_column, width, &field, &field_width);
    return parse_fixed_number(field, field_width, value);
}

// A 16-column coefficient field: as read_number, with the shape that the
// database always uses read inline.
inline int read_coefficient(const line_view *line, int first_column, double *value)
{
    static const std::size_t coefficient_width = 16;
    std::size_t start = static_cast<std::size_t>(first_column - 1);
    if (start + coefficient_width <= line->length && parse_coefficient_field(line->text + start, value)) {
        return 1;
    }
    return read_number(line, first_column, static_cast<int>(coefficient_width), value);
}

// The last few distinct texts of one kind of field with their values: the
// database repeats the same temperatures (200, 1000, 6000 K), atom counts
// and small integers thousands of times, and an equal text has an equal
// value. A field is compared as two words of its own bytes.
static const int memo_slots = 4;
static const std::size_t memo_field_bytes = 16;

struct number_memo {
    std::uint64_t text[memo_slots][2];
    std::size_t width[memo_slots]; // 0: an empty slot
    double value[memo_slots];
    int next;
};

// read_number through a memo. Only a field that lies wholly inside the
// line with 16 bytes to read from its start is looked up (the others are
// read as usual).
inline int read_number_memo(const line_view *line, int first_column, int width, number_memo *memo, double *value)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::size_t start = static_cast<std::size_t>(first_column - 1);
    std::size_t w = static_cast<std::size_t>(width);
    if (w < memo_field_bytes && start + memo_field_bytes <= line->length) {
        std::uint64_t text[2];
        std::memcpy(text, line->text + start, sizeof text);
        // Keep the field's own bytes, the first in the lowest.
        if (w < 8) {
            text[0] &= (static_cast<std::uint64_t>(1) << (8 * w)) - 1;
            text[1] = 0;
        } else {
            text[1] &= w == 8 ? 0 : (static_cast<std::uint64_t>(1) << (8 * (w - 8))) - 1;
        }
        for (int s = 0; s < memo_slots; ++s) {
            if (memo->width[s] == w && memo->text[s][0] == text[0] && memo->text[s][1] == text[1]) {
                *value = memo->value[s];
                return 1;
            }
        }
        if (!read_number(line, first_column, width, value)) {
            return 0;
        }
        int s = memo->next;
        memo->text[s][0] = text[0];
        memo->text[s][1] = text[1];
        memo->width[s] = w;
        memo->value[s] = *value;
        memo->next = (s + 1) % memo_slots;
        return 1;
    }
#else
    (void)memo;
#endif
    return read_number(line, first_column, width, value);
}

// An integer field within [low, high], read through a memo.
inline int read_integer(const line_view *line, int first_column, int width, int low, int high, number_memo *memo,
                        int *value)
{
    double v = 0.0;
    if (!read_number_memo(line, first_column, width, memo, &v) || !(v >= low && v <= high)) {
        return 0;
    }
    int whole = static_cast<int>(v);
    if (static_cast<double>(whole) != v) {
        return 0;
    }
    *value = whole;
    return 1;
}

} // namespace cea_impl

#endif
