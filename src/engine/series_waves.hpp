#pragma once
// The per-series work of an engine pass, shared among threads with results that do not depend
// on their number. The series run in waves of consecutive series whose values, curves and
// indices fit the wave buffers; each worker takes a contiguous block of a wave, with its own
// spline workspace, and records what the fits of each series say in that series' notices. The
// calling thread then hands the wave on in series order: the notices of a series go to the
// engine's observer just before that series is emitted, and an exception thrown for series i
// comes out after the emits of the series before it. What the run prints, the files and the
// results are thus those of one thread fitting the series one after another.
#include <algorithm>
#include <cstddef>
#include <exception>
#include <span>
#include <vector>

#include "curves/spline.hpp"
#include "engine/engine_observer.hpp"
#include "model/notices.hpp"
#include "model/workers.hpp"

namespace kestrovan {

class SeriesWaves {
public:
    // One series' place in the wave buffers: its values, curve and indices, one per ring.
    struct Buffers {
        std::span<float> values, curve, indices;
    };

    // lengths: rings per series; threads: the workers of a wave.
    SeriesWaves(std::span<const int> lengths, int threads);

    // Runs compute(i, buffers, notices, spline workspace) for every series with rings on the
    // workers, then hands each series' notices to `observer` and runs emit(i, buffers) on the
    // calling thread in series order (see above). The fits read no input: a wait for RETURN they
    // ask for is a notice, waited for where the observer prints it.
    template <class Compute, class Emit>
    void for_each(EngineObserver& observer, Compute&& compute, Emit&& emit);

private:
    Buffers buffers_of(int i);
    int length(int i) const { return std::max(lengths_[static_cast<std::size_t>(i)], 0); }

    std::vector<int> lengths_;
    int threads_ = 1;
    std::vector<std::size_t> ring_start_;  // per series: its first ring counted over all series
    std::vector<float> values_, curves_, indices_;
    std::size_t wave_base_ = 0;  // ring_start_ of the wave's first series
    std::vector<SplineWorkspace> worker_splines_;
    std::vector<Notices> notices_;  // per series: what its fits said, until it is printed
    std::vector<long long> wave_weight_;
    std::vector<int> wave_bounds_;
};

template <class Compute, class Emit>
void SeriesWaves::for_each(EngineObserver& observer, Compute&& compute, Emit&& emit) {
    const int nser = static_cast<int>(lengths_.size());
    const std::size_t capacity = values_.size();
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(threads_));
    std::vector<int> error_series(static_cast<std::size_t>(threads_), -1);

    for (int a = 0; a < nser;) {
        // The wave: consecutive series whose rings fit the buffers (at least one series).
        wave_base_ = ring_start_[static_cast<std::size_t>(a)];
        int b = a + 1;
        while (b < nser && ring_start_[static_cast<std::size_t>(b) + 1] - wave_base_ <= capacity) ++b;
        wave_weight_.clear();
        for (int i = a; i < b; ++i) wave_weight_.push_back(length(i) + 1);
        const int workers = std::min(threads_, b - a);
        split_ranges(b - a, workers, &wave_weight_, wave_bounds_);
        std::fill(errors.begin(), errors.end(), nullptr);

        run_workers(workers, [&](int w) {
            const std::size_t ww = static_cast<std::size_t>(w);
            SplineWorkspace& ws = worker_splines_[ww];
            for (int i = a + wave_bounds_[ww]; i < a + wave_bounds_[ww + 1]; ++i) {
                if (length(i) <= 0) continue;
                try {
                    compute(i, buffers_of(i), notices_[static_cast<std::size_t>(i)], ws);
                } catch (...) {
                    errors[ww] = std::current_exception();
                    error_series[ww] = i;
                    return;
                }
            }
        });

        for (int w = 0; w < workers; ++w) {
            const std::size_t ww = static_cast<std::size_t>(w);
            for (int i = a + wave_bounds_[ww]; i < a + wave_bounds_[ww + 1]; ++i) {
                observer.notices(notices_[static_cast<std::size_t>(i)]);
                if (errors[ww] && error_series[ww] == i) std::rethrow_exception(errors[ww]);
                if (length(i) <= 0) continue;
                emit(i, buffers_of(i));
            }
        }
        a = b;
    }
}

}  // namespace kestrovan
