#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace Tessarine::Lamino {

// The growth of one figure (memory, handles, windows, GL objects) against the three kinds of
// events a soak runs, all at once: renders, setup cycles and reloads. Each sample gives the
// running counts of the three, the figure's value then, and the state it was taken in (after
// which kind of stretch: a setup cycle drops what renders build up again, so the figure's level
// differs from state to state without anything leaking). Only samples of one state are compared:
// each pair of samples taken one after the other in the same state gives the events between them
// and the figure's change, and the rates are the least-squares fit of
//     change = rate[0] * renders + rate[1] * cycles + rate[2] * reloads
// over all such pairs of all states, so that a growth that comes with one kind of event is
// charged to that kind only, however the stretches interleave. A kind whose count changes in no
// pair gets no rate.
class GrowthFit {
public:
    static constexpr int kKinds = 3;
    static constexpr int kStates = 3;
    using Counts = std::array<double, kKinds>;

    struct Rates {
        Counts rate{};     // growth per event of each kind
        Counts error{};    // the standard error of each rate (0 when not estimable)
        std::array<bool, kKinds> fitted{};  // false: the kind's count did not change
        bool valid = false;  // false: too few samples for the parameters
    };

    void add(int state, const Counts& counts, double value);

    size_t samples() const { return points.size(); }
    // How far the samples from `first` on reach in events of `kind`.
    double span(int kind, size_t first = 0) const;
    // The fit over the samples from `first` on, with the standard error of each rate (from the
    // pairs' scatter about the fit).
    Rates fit(size_t first = 0) const;

private:
    static Rates solve(const std::vector<Counts>& rows, const std::vector<double>& changes);
    static double predicted(const Rates& rates, const Counts& events);

    struct Point {
        int state;
        Counts counts;
        double value;
    };
    std::vector<Point> points;
};

}  // namespace Tessarine::Lamino
