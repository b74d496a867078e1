// The expected outputs listed in tests/golden/cases.list ("<file>: <options>",
// also read by regenerate.sh), and readers of a case's options.
#ifndef LRE_TEST_GOLDEN_CASES_H
#define LRE_TEST_GOLDEN_CASES_H

#include <cstdlib>
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

inline bool ends_with(const std::string &text, const std::string &suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The value of the last occurrence of an option (the one the program takes), or "".
inline std::string option_value(const std::vector<std::string> &options, const std::string &name)
{
    std::string value;
    for (std::size_t i = 0; i + 1 < options.size(); ++i) {
        if (options[i] == name) {
            value = options[i + 1];
        }
    }
    return value;
}

// 0 tq12b, 1 tq15b, 2 yf100k.
inline int module_of(const std::vector<std::string> &options)
{
    const std::string key = option_value(options, "--engine");
    return key == "tq15b" ? 1 : key == "yf100k" ? 2 : 0;
}

inline bool burns(const std::vector<std::string> &options)
{
    return std::strtod(option_value(options, "--burn-s").c_str(), nullptr) > 0.0;
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
