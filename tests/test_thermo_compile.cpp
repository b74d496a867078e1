// The thermo-compile program: the shipped database compiled to the
// reference file, a bad text refused with the reader's message and no file
// left behind, and its version and usage.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace {

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> folder_entries(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    for (dirent *e = dir != nullptr ? readdir(dir) : nullptr; e != nullptr; e = readdir(dir)) {
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") {
            names.push_back(e->d_name);
        }
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    return names;
}

lre_test::program_output run(std::vector<std::string> words)
{
    words.insert(words.begin(), "thermo-compile");
    return lre_test::run_program(THERMO_COMPILE_PATH, words);
}

class thermo_compile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "thermo_compile_XXXXXX"; // in the folder the test runs in
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        output = folder + "/thermo.lib";
    }
    void TearDown() override
    {
        for (const std::string &name : folder_entries(folder)) {
            std::remove((folder + "/" + name).c_str());
        }
        rmdir(folder.c_str());
    }
    lre_test::program_output compile(const std::string &input) { return run({input, output}); }
    std::string folder;
    std::string output;
};

TEST_F(thermo_compile, writes_the_reference_file)
{
    lre_test::program_output out = compile(LRE_THERMO_DATABASE);
    EXPECT_EQ(out.status, 0) << out.stderr_text;
    EXPECT_TRUE(read_file(output) == read_file(LRE_THERMO_LIB));
    EXPECT_EQ(folder_entries(folder), std::vector<std::string>{"thermo.lib"}); // no temporary left
}

// A refused text leaves the output as it was (absent, or an older file).
TEST_F(thermo_compile, refused_text_leaves_the_output_alone)
{
    const std::string inputs[] = {CEA_TEST_DATA_DIR "/thermo_truncated.inp", CEA_TEST_DATA_DIR "/thermo_garbage.inp"};
    for (const std::string &input : inputs) {
        lre_test::program_output out = compile(input);
        EXPECT_EQ(out.status, 1);
        EXPECT_EQ(out.stderr_text.rfind("thermo-compile: malformed thermodynamic database " + input + ": ", 0), 0u)
            << out.stderr_text;
        EXPECT_TRUE(folder_entries(folder).empty());
    }
    std::ofstream(output) << "older";
    EXPECT_EQ(compile(CEA_TEST_DATA_DIR "/thermo_garbage.inp").status, 1);
    EXPECT_EQ(read_file(output), "older");
    EXPECT_EQ(folder_entries(folder).size(), 1u);
}

TEST_F(thermo_compile, version_help_and_usage)
{
    lre_test::program_output version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.stdout_text, std::string("thermo-compile ") + LRE_VERSION + "\n");
    lre_test::program_output help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.stdout_text.rfind("Usage: thermo-compile INPUT OUTPUT\n", 0), 0u);
    for (const std::vector<std::string> &words :
         std::vector<std::vector<std::string>>{{}, {"only-one"}, {"a", "b", "c"}, {"--verbose", "b"}}) {
        lre_test::program_output usage = run(words);
        EXPECT_EQ(usage.status, 2) << lre_test::joined(words);
        EXPECT_EQ(usage.stderr_text, help.stdout_text);
    }
    EXPECT_EQ(compile("no-such-dir/thermo.inp").status, 1);
}

} // namespace
