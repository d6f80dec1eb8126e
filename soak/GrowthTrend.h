#pragma once

#include <cstddef>
#include <vector>

namespace Tessarine::Lamino {

// The trend of one figure (memory, handles, windows, GL objects) against the events it is
// charged to (renders, setup cycles or reloads), from a series of measurements taken in like
// states: each adds the events since the previous one and the figure's value now. The slope is
// Theil-Sen's (the median of the slopes between every two points), so that one noisy sample,
// such as an allocator that keeps a large block once, does not make a trend.
class GrowthTrend {
public:
    void add(double events, double value);

    size_t samples() const { return points.size(); }
    double events() const { return points.empty() ? 0.0 : points.back().events; }
    // The events between point `first` and the last.
    double eventsFrom(size_t first) const
    {
        return first < points.size() ? points.back().events - points[first].events : 0.0;
    }
    double total() const { return points.empty() ? 0.0 : points.back().value - points[0].value; }
    // Growth per event over the points from `first` on; 0 with fewer than two of them.
    double slope(size_t first = 0) const;

private:
    struct Point {
        double events;
        double value;
    };
    std::vector<Point> points;
};

}  // namespace Tessarine::Lamino
