// The reference chamber states (tests/data/chamber_states.csv): HP
// equilibria of O2(L) with CH4(L) or RP-1 computed by the reference
// equilibrium library over the NASA Glenn database.
#ifndef TESTS_CEA_REFERENCE_ROWS_H
#define TESTS_CEA_REFERENCE_ROWS_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct reference_row {
    std::string fuel;
    double p_c_pa, k, t_o_k, t_f_k;
    double t_c_k, m_kg_kmol, cp_kj_kg_k, cv_kj_kg_k, gamma, h_j_kg;
};

inline std::vector<reference_row> read_reference_rows(const std::string &path)
{
    std::vector<reference_row> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line.rfind("fuel,", 0) == 0) {
            continue;
        }
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream fields(line);
        reference_row r;
        fields >> r.fuel >> r.p_c_pa >> r.k >> r.t_o_k >> r.t_f_k >> r.t_c_k >> r.m_kg_kmol >> r.cp_kj_kg_k >>
            r.cv_kj_kg_k >> r.gamma >> r.h_j_kg;
        if (fields) {
            rows.push_back(r);
        }
    }
    return rows;
}

inline double relative_difference(double value, double reference)
{
    return std::fabs(value - reference) / std::fabs(reference);
}

#endif
