// The inputs kept for a fuzz target (its seeds, and every input that once
// found a fault), replayed as an ordinary test: built with the target's
// source, so its checks run here too, under the sanitizers in the asan
// preset. A failed check aborts the test after naming the input.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

std::vector<std::string> corpus_files(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(fuzz_corpus, every_kept_input_runs_clean)
{
    const std::string folder = LRE_FUZZ_CORPUS_DIR;
    const std::vector<std::string> names = corpus_files(folder);
    ASSERT_FALSE(names.empty()) << "no inputs in " << folder;
    for (const std::string &name : names) {
        std::ifstream file(folder + "/" + name, std::ios::binary);
        ASSERT_TRUE(file) << name;
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::fprintf(stderr, "input %s\n", name.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    }
}

} // namespace
