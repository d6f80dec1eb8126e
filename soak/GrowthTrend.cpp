#include "soak/GrowthTrend.h"

#include <algorithm>

namespace Tessarine::Lamino {

void GrowthTrend::add(double events, double value)
{
    points.push_back({this->events() + events, value});
}

double GrowthTrend::slope(size_t first) const
{
    std::vector<double> slopes;
    for (size_t i = first; i < points.size(); ++i) {
        for (size_t j = i + 1; j < points.size(); ++j) {
            const double run = points[j].events - points[i].events;
            if (run > 0.0) {
                slopes.push_back((points[j].value - points[i].value) / run);
            }
        }
    }
    if (slopes.empty()) {
        return 0.0;
    }
    const size_t middle = slopes.size() / 2;
    std::nth_element(slopes.begin(), slopes.begin() + middle, slopes.end());
    if (slopes.size() % 2 == 1) {
        return slopes[middle];
    }
    const double upper = slopes[middle];
    const double lower = *std::max_element(slopes.begin(), slopes.begin() + middle);
    return (lower + upper) / 2.0;
}

}  // namespace Tessarine::Lamino
