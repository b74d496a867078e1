// The thermo-compile program: the shipped database compiled to the build's
// thermo.lib (which thermo_lib_matches_reference holds to the reference
// file), a text too large for its first buffer, and every way of failing,
// with its status and message and the output left as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cea_test_files.h"
#include "program_runner.h"

namespace {

lre_test::program_output run(std::vector<std::string> words)
{
    words.insert(words.begin(), "thermo-compile");
    return lre_test::run_program(THERMO_COMPILE_PATH, words);
}

TEST(thermo_compile, compiles_or_says_why_not)
{
    char pattern[] = "thermo_compile_XXXXXX"; // in the folder the test runs in
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::string output = folder + "/thermo.lib";
    const std::string big = folder + "/big.inp"; // the shipped text after a comment of 2.6 MB
    std::ofstream(big) << "!" << std::string(2600000, 'x') << "\n" << read_file(LRE_THERMO_DATABASE);

    const std::string usage = run({"--help"}).stdout_text;
    EXPECT_EQ(usage.rfind("Usage: thermo-compile INPUT OUTPUT\n", 0), 0u) << usage;
    const std::string malformed = "thermo-compile: malformed thermodynamic database ";
    const struct {
        std::vector<std::string> words;
        int status;
        std::string out, err; // err: the start of standard error
        std::string file;     // the output afterwards
    } cases[] = {
        {{"--version"}, 0, std::string("thermo-compile ") + LRE_VERSION + "\n", "", ""},
        {{}, 2, "", usage, ""},
        {{"only-one"}, 2, "", usage, ""},
        {{"a", "b", "c"}, 2, "", usage, ""},
        {{"--verbose", "b"}, 2, "", usage, ""},
        {{"a", "-b"}, 2, "", usage, ""},
        {{"no-such-dir/thermo.inp", output}, 1, "", "thermo-compile: cannot open no-such-dir/thermo.inp: ", ""},
        {{folder, output}, 1, "", "thermo-compile: cannot read " + folder + ": ", ""},
        {{CEA_TEST_DATA_DIR "/thermo_truncated.inp", output},
         1,
         "",
         malformed + CEA_TEST_DATA_DIR "/thermo_truncated.inp: the text ends after line 244",
         ""},
        {{LRE_THERMO_DATABASE, folder + "/no-such-dir/thermo.lib"},
         1,
         "",
         "thermo-compile: cannot create a file beside " + folder + "/no-such-dir/thermo.lib: ",
         ""},
        {{LRE_THERMO_DATABASE, output}, 0, "", "", read_file(LRE_THERMO_LIB)},
        {{CEA_TEST_DATA_DIR "/thermo_garbage.inp", output},
         1,
         "",
         malformed + CEA_TEST_DATA_DIR "/thermo_garbage.inp: line 1: ",
         read_file(LRE_THERMO_LIB)},
        {{big, output}, 0, "", "", read_file(LRE_THERMO_LIB)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(lre_test::joined(c.words));
        lre_test::program_output out = run(c.words);
        EXPECT_EQ(out.status, c.status);
        EXPECT_EQ(out.stdout_text, c.out);
        EXPECT_EQ(out.stderr_text.substr(0, c.err.size()), c.err);
        EXPECT_EQ(out.stderr_text.empty(), c.err.empty()) << out.stderr_text;
        EXPECT_EQ(read_file(output), c.file);
    }
    // A new file's permissions.
    struct stat info;
    ASSERT_EQ(stat(output.c_str(), &info), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    EXPECT_EQ(std::remove(output.c_str()) | std::remove(big.c_str()), 0);
    EXPECT_EQ(rmdir(folder.c_str()), 0) << "a temporary file is left behind";
}

} // namespace
