#include "analysis/combination.h"

#include <stdexcept>

namespace analysis {

namespace {

// v'_i = Σ_j T(j, i) v_j for one triple, the sum from 0 in the order j = 1, 2, 3.
void turn(const double* t, double* v) {
    double y[3];
    for (int i = 0; i < 3; ++i) {
        double s = 0.0;
        for (int j = 0; j < 3; ++j) s = s + t[j + 3 * i] * v[j];
        y[i] = s;
    }
    for (int i = 0; i < 3; ++i) v[i] = y[i];
}

}  // namespace

std::array<double, 6> resultants(const CombinationGroups& g, std::span<const double> values) {
    if (g.nr < 0 || g.nc < 0 || g.nc > 6 ||
        values.size() < static_cast<std::size_t>(g.nr) * static_cast<std::size_t>(g.nc) ||
        g.matrices.size() < 9 * static_cast<std::size_t>(g.nr))
        throw std::invalid_argument("resultants: fewer values or matrices than the groups need");
    std::array<double, 6> r{};
    for (std::int32_t k = 0; k < g.nr; ++k) {
        double v[6] = {0, 0, 0, 0, 0, 0};
        for (std::int32_t c = 0; c < g.nc; ++c)
            v[c] = values[static_cast<std::size_t>(k * g.nc + c)];
        const double* t = g.matrices.data() + 9 * static_cast<std::size_t>(k);
        turn(t, v);
        turn(t, v + 3);
        for (std::int32_t c = 0; c < g.nc; ++c) r[static_cast<std::size_t>(c)] += v[c];
    }
    return r;
}

double component(const std::array<double, 6>& factors, const std::array<double, 6>& r) {
    double s = 0.0;
    for (std::size_t i = 0; i < 6; ++i) s = s + factors[i] * r[i];
    return s;
}

}  // namespace analysis
