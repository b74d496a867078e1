// Layout rules of every text report: line counts per module, the opening
// empty line, and the columns of the tags, labels and "=" signs.
#ifndef LRE_TEST_REPORT_LAYOUT_H
#define LRE_TEST_REPORT_LAYOUT_H

#include <gtest/gtest.h>

#include <string>

namespace lre_test {

// Lines of a report, the leading empty line included.
inline int expected_line_count(int module, bool burn)
{
    switch (module) {
    case 1: return burn ? 37 : 34;  // TQ-15B
    case 2: return burn ? 50 : 46;  // YF-100K
    default: return burn ? 52 : 47; // TQ-12B
    }
}

inline void expect_report_layout(const std::string &report, int line_count)
{
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report[0], '\n') << "a report opens with an empty line";
    EXPECT_EQ(report.back(), '\n');
    EXPECT_EQ(report.find("\n\n", 1), std::string::npos) << "no empty line after the first";

    int lines = 0;
    std::size_t start = 0;
    while (start < report.size()) {
        const std::size_t end = report.find('\n', start);
        const std::string line = report.substr(start, end - start);
        start = end + 1;
        ++lines;
        if (line.empty() || line[0] != '[') {
            continue; // the empty line, header and condition lines
        }
        SCOPED_TRACE(line);
        // The tag is padded so that the label starts in column 14.
        ASSERT_GE(line.size(), 14u);
        EXPECT_EQ(line[12], ' ');
        EXPECT_NE(line[13], ' ');
        // The value's "=" is the line's last one.
        const std::size_t equals_column = line.rfind('=') + 1;
        std::size_t expected_column = 50;
        if (line.find('%') < equals_column) {
            expected_column = 49;
        } else if (line.find("I_t,en(p_a) = I_t(p_a)") != std::string::npos) {
            expected_column = 48;
        }
        EXPECT_EQ(equals_column, expected_column);
        EXPECT_EQ(line.compare(equals_column - 2, 3, " = "), 0);
    }
    EXPECT_EQ(lines, line_count);
}

} // namespace lre_test

#endif
