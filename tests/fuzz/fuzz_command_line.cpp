// libFuzzer target over lre-perf's whole run in process (lre_perf_run) on the
// real library. Input: NUL-separated words, a control word (its bytes counted
// from '0', a missing one 0) and then the argument vector. Control byte 0
// picks the database word (12 to 15 of 16: a missing, garbled or empty file,
// a folder; else the shipped one); with LRE_FUZZ_LIBRARY_SHIM
// (fuzz_command_line) bytes 1 to 3 choose a library call to fail
// (library_shim.h), its nth call and the library's text.
// Checked: status 0 or 1 and exactly one of: the usage text (status 0 only for
// "--help"); one documented message line alone; a report with finite numbers
// and no message. Every library handle is released.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "../expected_usage.h"
#include "fuzz_input.h"
#include "lre_perf_run.h"
#ifdef LRE_FUZZ_LIBRARY_SHIM
#include "../library_shim.h"
#endif

namespace {

using lre_fuzz::fail;

bool starts_with(const std::string &text, const std::string &head) { return text.compare(0, head.size(), head) == 0; }

bool documented_message(const std::string &text)
{
    static const char *const fixed[] = {
        "Engine must be tq12b, tq15b, or yf100k.\n",
        "Throttle input is available for TQ-12B and YF-100K only.\n",
        "YF-100K throttle percentage must be between 65 and 105.\n",
        "TQ-12B throttle percentage must be between 40 and 110.\n",
        "Altitude must be between 0 and 86 km geometric altitude.\n",
        "The TQ-15B module uses vacuum conditions and does not vary altitude.\n",
        "YF-100K epsilon must be between 20 and 36.\n",
    };
    for (const char *message : fixed) {
        if (text == message) {
            return true;
        }
    }
    const std::size_t end = text.find('\n');
    return end + 1 == text.size() && end <= 540 &&
           (starts_with(text, "CEA initialization: CEA ") || starts_with(text, "Calculation failed: ") ||
            text.find(" is not adjustable in the YF-100K module.\n") != std::string::npos);
}

// The shipped database, or one it cannot read.
std::string database(std::uint8_t choice)
{
    switch (choice % 16) {
    case 12: return CEA_TEST_DATA_DIR "/no_such_file.inp";
    case 13: return CEA_TEST_DATA_DIR "/thermo_garbage.inp";
    case 14: return CEA_TEST_DATA_DIR "/thermo_empty.inp";
    case 15: return CEA_TEST_DATA_DIR;
    default: return LRE_THERMO_DATABASE;
    }
}

void check_run(int status, const std::vector<std::string> &words, const std::string &out, const std::string &err)
{
    const bool named = !words.empty() && !words[0].empty();
    const bool help = words.size() >= 2 && words[1] == "--help";
    bool json = false;
    for (std::size_t i = 2; i < words.size(); ++i) {
        json = json || words[i] == "--json";
    }
    if (status != 0 && status != 1) {
        fail("exit status %d", status);
    } else if (out == lre_test::expected_usage(named ? words[0] : "lre-perf")) {
        if (!err.empty() || status != (help ? 0 : 1)) {
            fail("the usage text with status %d and the message \"%s\"", status, err.c_str());
        }
    } else if (out.empty()) {
        if (status != 1 || !documented_message(err)) {
            fail("status %d and not a documented message: \"%s\"", status, err.c_str());
        }
    } else if (status != 0 || !err.empty() || help || out.find("nan") != std::string::npos ||
               out.find("inf") != std::string::npos ||
               !starts_with(out, json ? "{\n  \"schema_version\": 1,\n  \"engine\": \"" : "\n")) {
        fail("status %d, the message \"%s\" and the report:\n%s", status, err.c_str(), out.c_str());
    }
}

} // namespace

// What the run wrote to file, which is then emptied for the next run.
std::string take(std::FILE *file)
{
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    if (!text.empty() && std::fread(&text[0], 1, text.size(), file) != text.size()) {
        fail("cannot read the output back");
    }
    std::rewind(file);
    return text;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static std::FILE *out = std::tmpfile();
    static std::FILE *err = std::tmpfile();
    if (out == nullptr || err == nullptr) {
        fail("cannot create the temporary files");
    }
    std::vector<std::string> words;
    const char *text = reinterpret_cast<const char *>(data);
    for (std::size_t start = 0, i = 0; i <= size && words.size() < 48; ++i) {
        if (i == size || data[i] == 0) {
            words.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    std::uint8_t control[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < 4 && i < words[0].size(); ++i) {
        control[i] = static_cast<std::uint8_t>(words[0][i] - '0');
    }
    words.erase(words.begin());
    if (words.size() >= 2 && words[1] != "--help") {
        words[1] = database(control[0]);
    }
#ifdef LRE_FUZZ_LIBRARY_SHIM
    library_shim::reset();
    if (control[1] % 14 != 0) {
        library_shim::fail(control[1] % 14 - 1, control[2] % 8, control[3] % 2 == 0 ? 1 : 8);
        const std::string long_text(300, 'e');
        if (control[3] % 4 >= 2) {
            library_shim::set_error_text(control[3] % 8 < 4 ? "%s%n%d" : long_text.c_str(), -1, control[3] % 16 >= 8);
        }
    }
#endif
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    const int status = lre_perf_run(static_cast<int>(words.size()), argv.data(), out, err);
    std::fflush(out);
    std::fflush(err);
    check_run(status, words, take(out), take(err));
#ifdef LRE_FUZZ_LIBRARY_SHIM
    if (library_shim::live_handles() != 0) {
        fail("%d library handles left open", library_shim::live_handles());
    }
#endif
    return 0;
}
