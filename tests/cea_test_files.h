// Files and texts for the equilibrium library's tests: whole files read into
// memory, and a text with one of its parts replaced.
#ifndef TESTS_CEA_TEST_FILES_H
#define TESTS_CEA_TEST_FILES_H

#include <fstream>
#include <iterator>
#include <string>

inline std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text with the first `from` after `after` replaced by `to` (unchanged,
// which the tests then notice, when there is none).
inline std::string replaced(std::string text, const std::string &from, const std::string &to, std::size_t after = 0)
{
    std::size_t at = text.find(from, after);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

#endif
