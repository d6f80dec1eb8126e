#include "soak/GrowthFit.h"

#include <algorithm>
#include <cmath>

namespace Tessarine::Lamino {

namespace {

// Inverts the symmetric matrix `a` (n x n, row-major) in place by Gauss-Jordan elimination with
// partial pivoting; false when it is singular.
bool invert(std::vector<double>& a, size_t n)
{
    std::vector<double> inverse(n * n, 0.0);
    for (size_t i = 0; i < n; ++i) {
        inverse[i * n + i] = 1.0;
    }
    for (size_t column = 0; column < n; ++column) {
        size_t pivot = column;
        for (size_t row = column + 1; row < n; ++row) {
            if (std::abs(a[row * n + column]) > std::abs(a[pivot * n + column])) {
                pivot = row;
            }
        }
        if (std::abs(a[pivot * n + column]) < 1e-12) {
            return false;
        }
        for (size_t k = 0; k < n; ++k) {
            std::swap(a[column * n + k], a[pivot * n + k]);
            std::swap(inverse[column * n + k], inverse[pivot * n + k]);
        }
        const double scale = a[column * n + column];
        for (size_t k = 0; k < n; ++k) {
            a[column * n + k] /= scale;
            inverse[column * n + k] /= scale;
        }
        for (size_t row = 0; row < n; ++row) {
            const double factor = row == column ? 0.0 : a[row * n + column];
            for (size_t k = 0; factor != 0.0 && k < n; ++k) {
                a[row * n + k] -= factor * a[column * n + k];
                inverse[row * n + k] -= factor * inverse[column * n + k];
            }
        }
    }
    a.swap(inverse);
    return true;
}

} // namespace

void GrowthFit::add(int state, const Counts& counts, double value)
{
    points.push_back({std::clamp(state, 0, kStates - 1), counts, value});
}

double GrowthFit::span(int kind, size_t first) const
{
    if (first >= points.size()) {
        return 0.0;
    }
    double low = points[first].counts[size_t(kind)];
    double high = low;
    for (size_t i = first; i < points.size(); ++i) {
        low = std::min(low, points[i].counts[size_t(kind)]);
        high = std::max(high, points[i].counts[size_t(kind)]);
    }
    return high - low;
}

GrowthFit::Rates GrowthFit::fit(size_t first) const
{
    Rates rates;
    // One row per pair of samples taken one after the other in the same state (the samples of
    // other states between them do not matter): the events between them and the change.
    std::vector<Counts> rows;
    std::vector<double> changes;
    std::array<long, kStates> previous;
    previous.fill(-1);
    for (size_t i = first; i < points.size(); ++i) {
        long& before = previous[size_t(points[i].state)];
        if (before >= 0) {
            Counts events{};
            for (int k = 0; k < kKinds; ++k) {
                events[size_t(k)] = points[i].counts[size_t(k)] - points[size_t(before)].counts[size_t(k)];
            }
            rows.push_back(events);
            changes.push_back(points[i].value - points[size_t(before)].value);
        }
        before = long(i);
    }
    rates = solve(rows, changes);
    if (!rates.valid) {
        return rates;
    }
    // A figure that moves in steps now and then (a heap that meets a larger frame than any
    // before) would pull a least-squares fit: pairs whose change is far off the fit, by the
    // median of all deviations, are left out, and the rest fitted again.
    std::vector<double> deviations;
    for (size_t r = 0; r < rows.size(); ++r) {
        deviations.push_back(std::abs(changes[r] - predicted(rates, rows[r])));
    }
    std::vector<double> sorted = deviations;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double typical = 1.4826 * sorted[sorted.size() / 2];
    if (typical <= 0.0) {
        return rates;
    }
    std::vector<Counts> kept;
    std::vector<double> keptChanges;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (deviations[r] <= 4.0 * typical) {
            kept.push_back(rows[r]);
            keptChanges.push_back(changes[r]);
        }
    }
    const Rates again = solve(kept, keptChanges);
    return again.valid ? again : rates;
}

double GrowthFit::predicted(const Rates& rates, const Counts& events)
{
    double change = 0.0;
    for (int k = 0; k < kKinds; ++k) {
        change += rates.fitted[size_t(k)] ? rates.rate[size_t(k)] * events[size_t(k)] : 0.0;
    }
    return change;
}

GrowthFit::Rates GrowthFit::solve(const std::vector<Counts>& rows, const std::vector<double>& changes)
{
    Rates rates;
    std::vector<int> kinds;
    for (int k = 0; k < kKinds; ++k) {
        bool changing = false;
        for (const Counts& row : rows) {
            changing = changing || row[size_t(k)] != 0.0;
        }
        if (changing) {
            kinds.push_back(k);
        }
    }
    // A few pairs more than rates, or the scatter about the fit says nothing.
    const size_t n = kinds.size();
    if (n == 0 || rows.size() < n + 4) {
        return rates;
    }
    std::vector<double> normal(n * n, 0.0);
    std::vector<double> right(n, 0.0);
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t a = 0; a < n; ++a) {
            right[a] += rows[r][size_t(kinds[a])] * changes[r];
            for (size_t b = 0; b < n; ++b) {
                normal[a * n + b] += rows[r][size_t(kinds[a])] * rows[r][size_t(kinds[b])];
            }
        }
    }
    if (!invert(normal, n)) {
        return rates;
    }
    std::vector<double> beta(n, 0.0);
    for (size_t a = 0; a < n; ++a) {
        for (size_t b = 0; b < n; ++b) {
            beta[a] += normal[a * n + b] * right[b];
        }
    }
    for (size_t a = 0; a < n; ++a) {
        rates.rate[size_t(kinds[a])] = beta[a];
        rates.fitted[size_t(kinds[a])] = true;
    }
    double squares = 0.0;
    for (size_t r = 0; r < rows.size(); ++r) {
        const double off = changes[r] - predicted(rates, rows[r]);
        squares += off * off;
    }
    const double variance = squares / double(rows.size() - n);
    for (size_t a = 0; a < n; ++a) {
        rates.error[size_t(kinds[a])] = std::sqrt(std::max(0.0, variance * normal[a * n + a]));
    }
    rates.valid = true;
    return rates;
}

}  // namespace Tessarine::Lamino
