// The inputs kept for a fuzz target (its seeds, and every input that once
// found a fault), replayed as an ordinary test: built with the target's
// source, so its checks run here too, under the sanitizers in the asan
// preset. A failed check aborts the test after naming the input.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

TEST(fuzz_corpus, every_kept_input_runs_clean)
{
    DIR *dir = opendir(LRE_FUZZ_CORPUS_DIR);
    ASSERT_NE(dir, nullptr) << LRE_FUZZ_CORPUS_DIR;
    std::vector<std::string> names; // in order, so that a run repeats
    for (const dirent *entry = readdir(dir); entry != nullptr; entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        std::ifstream file(LRE_FUZZ_CORPUS_DIR "/" + name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::fprintf(stderr, "input %s\n", name.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    }
    EXPECT_FALSE(names.empty());
}
