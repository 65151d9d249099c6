// The combination of time series (the classic operation 4) and the vector
// length of two series (operation 5), one time step at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace analysis {

// The groups of a combination: nr groups of nc DynRes each (nc 1 to 6;
// DynRes c of a group feeds resultant c), each group with its 3 x 3 matrix
// T stored column by column (T(i, j) is element i - 1 + 3 (j - 1)).
struct CombinationGroups {
    std::int32_t nr = 0;
    std::int32_t nc = 0;
    std::span<const double> matrices;  // 9 per group, group after group
};

// The six resultants R1..R6 of one step: each group's values v (its nc
// values at values[(k-1) nc .. k nc - 1], 0 beyond nc) are turned by the
// transpose of the group's matrix, forces v1..v3 and moments v4..v6 apart:
// v'_i = Σ_j T(j, i) v_j (summed j = 1, 2, 3 from 0), and summed over the
// groups (group 1 first, from 0). With nc = 3, R4..R6 stay 0. numpy:
// sum(T[k].T @ v[k]) over the groups, to rounding.
std::array<double, 6> resultants(const CombinationGroups& g, std::span<const double> values);

// A component F1 R1 + ... + F6 R6, summed in that order from 0.
double component(const std::array<double, 6>& factors, const std::array<double, 6>& r);

// The vector length sqrt(a² + b²) of one step, a² + b² formed as written
// (not hypot: the classic operation 5's number). numpy: sqrt(a*a + b*b).
inline double vector_length(double a, double b) {
    return __builtin_sqrt(a * a + b * b);
}

}  // namespace analysis
