#include "engine/series_waves.hpp"

namespace kestrovan {

namespace {
// Rings held by the wave buffers (values, curves and indices: 12 MB), unless one series is longer.
constexpr std::size_t kWaveRings = std::size_t{1} << 20;
}  // namespace

SeriesWaves::SeriesWaves(std::span<const int> lengths, int threads)
    : lengths_(lengths.begin(), lengths.end()), threads_(std::max(threads, 1)) {
    const std::size_t n = lengths_.size();
    ring_start_.assign(n + 1, 0);
    std::size_t longest = 1;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t len = static_cast<std::size_t>(std::max(lengths_[i], 0));
        ring_start_[i + 1] = ring_start_[i] + len;
        longest = std::max(longest, len);
    }
    const std::size_t capacity = std::min(ring_start_[n], std::max(longest, kWaveRings));
    values_.assign(capacity, 0.0f);
    curves_.assign(capacity, 0.0f);
    indices_.assign(capacity, 0.0f);
    worker_splines_.resize(static_cast<std::size_t>(threads_));
    notices_.resize(n);
    wave_weight_.reserve(n);
}

SeriesWaves::Buffers SeriesWaves::buffers_of(int i) {
    const std::size_t at = ring_start_[static_cast<std::size_t>(i)] - wave_base_;
    const std::size_t len = static_cast<std::size_t>(length(i));
    return {std::span<float>(values_).subspan(at, len), std::span<float>(curves_).subspan(at, len),
            std::span<float>(indices_).subspan(at, len)};
}

}  // namespace kestrovan
