// The linear systems of the iteration and of the derivatives.
#include "equilibrium_iteration.h"

#include <cmath>

namespace cea_impl {

// Gaussian elimination with partial pivoting on the rows of an augmented
// m x (m + 1) matrix, each row first scaled by its largest coefficient so that
// the element, amount and energy rows (of very different sizes) compete for
// pivots on equal terms. 0 when the matrix is singular.
int solve_linear(double *a, int m, double *x)
{
    int w = m + 1;
    for (int r = 0; r < m; ++r) {
        double big = 0.0;
        for (int c = 0; c < m; ++c) {
            big = larger(big, std::fabs(a[r * w + c]));
        }
        if (!(big > 0.0) || !std::isfinite(big)) {
            return 0;
        }
        double scale = 1.0 / big;
        for (int c = 0; c < w; ++c) {
            a[r * w + c] *= scale;
        }
    }
    for (int col = 0; col < m; ++col) {
        int pivot = col;
        double best = std::fabs(a[col * w + col]);
        for (int r = col + 1; r < m; ++r) {
            double v = std::fabs(a[r * w + col]);
            if (v > best) {
                best = v;
                pivot = r;
            }
        }
        if (!(best > 1e-300)) {
            return 0;
        }
        if (pivot != col) {
            for (int c = col; c < w; ++c) {
                double t = a[col * w + c];
                a[col * w + c] = a[pivot * w + c];
                a[pivot * w + c] = t;
            }
        }
        double inverse = 1.0 / a[col * w + col];
        for (int r = col + 1; r < m; ++r) {
            double factor = a[r * w + col] * inverse;
            if (factor == 0.0) {
                continue;
            }
            for (int c = col; c < w; ++c) {
                a[r * w + c] -= factor * a[col * w + c];
            }
        }
    }
    for (int r = m - 1; r >= 0; --r) {
        double v = a[r * w + m];
        for (int c = r + 1; c < m; ++c) {
            v -= a[r * w + c] * x[c];
        }
        x[r] = v / a[r * w + r];
        if (!std::isfinite(x[r])) {
            return 0;
        }
    }
    return 1;
}

} // namespace cea_impl
