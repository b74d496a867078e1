// Shared by the fuzz targets: reads a fuzzer's bytes as a sequence of choices
// and numbers, and stops the run with a message when a check fails. An input
// that runs out reads as zero bytes, so every input, even an empty one, is a
// complete run.
#ifndef LRE_FUZZ_INPUT_H
#define LRE_FUZZ_INPUT_H

#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace lre_fuzz {

struct byte_reader {
    const std::uint8_t *data;
    std::size_t size;
    std::size_t position;
};

inline byte_reader make_reader(const std::uint8_t *data, std::size_t size) { return byte_reader{data, size, 0}; }

inline std::uint8_t take_byte(byte_reader *reader)
{
    if (reader->position >= reader->size) {
        return 0;
    }
    return reader->data[reader->position++];
}

inline unsigned take_u16(byte_reader *reader)
{
    const unsigned high = take_byte(reader);
    return high << 8 | take_byte(reader);
}

// A choice among `count` (> 0) alternatives.
inline int take_choice(byte_reader *reader, int count)
{
    return static_cast<int>(take_byte(reader) % static_cast<unsigned>(count));
}

// Values where arithmetic and range tests go wrong: NaN of both signs, the
// infinities, both zeros, the smallest normal and subnormal numbers, the
// largest finite ones, and a few ordinary magnitudes around them.
inline double edge_value(int index)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double small = std::numeric_limits<double>::min();
    const double large = std::numeric_limits<double>::max();
    const double table[] = {
        nan,   -nan,   inf,    -inf,  0.0,  -0.0, small, -small, std::numeric_limits<double>::denorm_min(),
        large, -large, 1e-300, 1e300, -1.0, 1.0,  1e-12};
    const int count = static_cast<int>(sizeof table / sizeof table[0]);
    return table[((index % count) + count) % count];
}

// A number that is mostly inside [low, high] (spread over its decades when
// low > 0, so that small values are as likely as large ones), sometimes an
// edge value, sometimes any bit pattern at all.
inline double take_number(byte_reader *reader, double low, double high)
{
    const std::uint8_t kind = take_byte(reader);
    if (kind < 32) {
        return edge_value(kind);
    }
    if (kind < 48) {
        std::uint8_t bytes[sizeof(double)];
        for (std::uint8_t &b : bytes) {
            b = take_byte(reader);
        }
        double raw = 0.0;
        std::memcpy(&raw, bytes, sizeof raw);
        return raw;
    }
    const double u = take_u16(reader) / 65535.0;
    if (low > 0.0) {
        return low * std::pow(high / low, u);
    }
    return low + (high - low) * u;
}

// Ends the run: the message goes to standard error, and the abort is what
// libFuzzer (or the corpus replay under ctest) records as the finding.
[[noreturn]] inline void fail(const char *format, ...) __attribute__((format(printf, 1, 2)));

inline void fail(const char *format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::fputs("fuzz check failed: ", stderr);
    std::vfprintf(stderr, format, arguments);
    std::fputc('\n', stderr);
    va_end(arguments);
    std::abort();
}

} // namespace lre_fuzz

#endif
