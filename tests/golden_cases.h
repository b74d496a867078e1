// The expected outputs listed in tests/golden/cases.list ("<file>: <options>",
// also read by regenerate.sh), and a run of the program on a case.
#ifndef LRE_TEST_GOLDEN_CASES_H
#define LRE_TEST_GOLDEN_CASES_H

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace lre_test {

struct golden_case {
    std::string file;
    std::vector<std::string> options;
};

inline std::vector<golden_case> read_golden_cases(const std::string &golden_dir)
{
    std::vector<golden_case> cases;
    std::ifstream list(golden_dir + "/cases.list");
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t colon = line.find(':');
        golden_case entry{line.substr(0, colon), {}};
        std::istringstream words(line.substr(colon + 1));
        std::string word;
        while (words >> word) {
            entry.options.push_back(word);
        }
        cases.push_back(entry);
    }
    return cases;
}

inline std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the program on a database with the given options.
inline program_output run_lre_perf(const std::string &program, const std::string &database,
                                   const std::vector<std::string> &options)
{
    std::vector<std::string> words{"lre-perf", database};
    words.insert(words.end(), options.begin(), options.end());
    return run_program(program, words);
}

} // namespace lre_test

#endif
