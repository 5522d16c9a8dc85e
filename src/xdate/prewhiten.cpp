#include "xdate/prewhiten.hpp"

#include <algorithm>
#include <cmath>

#include "curves/markers.hpp"
#include "diag/residual_chronology.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

namespace {

bool present(float v) { return std::isfinite(v) && v >= 0.0f; }

// The offset added before logarithms: half the narrowest nonzero ring when the series has zero
// rings, else 0; negative when the series has no nonzero ring at all (nothing can be logged).
float log_offset(std::span<const float> raw) {
    bool zero = false;
    float narrowest = 0.0f;
    for (float v : raw) {
        if (!present(v)) continue;
        if (v == 0.0f)
            zero = true;
        else if (narrowest == 0.0f || v < narrowest)
            narrowest = v;
    }
    if (narrowest == 0.0f) return -1.0f;
    return zero ? 0.5f * narrowest : 0.0f;
}

// Indices of one run: differences of logs, or ratios to the curve held above its floor.
void make_indices(std::span<const float> raw, bool log, PrewhitenWorkspace& ws) {
    const std::size_t n = raw.size();
    if (log) {
        for (std::size_t k = 0; k < n; ++k) ws.values[k] -= ws.curve[k];
        return;
    }
    double sum = 0.0;
    for (float v : raw) sum += v;
    const float floor = static_cast<float>(kCurveFloor * sum / static_cast<double>(n));
    for (std::size_t k = 0; k < n; ++k) ws.values[k] = raw[k] / std::max(ws.curve[k], floor);
}

// Filters one run of present rings into out (same length); returns false when the spline
// failed.
bool filter_run(std::span<const float> raw, int wavelength, float offset, bool log, std::span<float> out,
                PrewhitenWorkspace& ws) {
    const int n = static_cast<int>(raw.size());
    const auto [lo, hi] = std::minmax_element(raw.begin(), raw.end());
    if (*lo == *hi) return true;
    ws.values.resize(raw.size());
    ws.curve.resize(raw.size());
    for (int k = 0; k < n; ++k) {
        const float v = raw[static_cast<std::size_t>(k)];
        ws.values[static_cast<std::size_t>(k)] = log ? std::log(v + offset) : v;
    }
    spline(n, ws.values, ws.curve, wavelength, ws.notices, &ws.spline);
    if (curve_failed(ws.curve)) return false;
    make_indices(raw, log, ws);
    const ArModel model = fit_ar(ws.values);
    const std::vector<float> residuals = ar_residuals(ws.values, model);
    for (int k = 0; k < n; ++k) {
        const float r = residuals[static_cast<std::size_t>(k)];
        out[static_cast<std::size_t>(k)] = r != kMissing && std::isfinite(r) ? r : kMissing;
    }
    return true;
}

}  // namespace

PrewhitenResult prewhiten(std::span<const float> raw, int wavelength, bool log, std::span<float> out,
                          PrewhitenWorkspace& ws) {
    PrewhitenResult result;
    ws.notices.take();
    std::fill_n(out.begin(), raw.size(), kMissing);
    const float offset = log ? log_offset(raw) : 0.0f;
    if (offset < 0.0f) return result;
    std::size_t start = 0;
    while (start < raw.size()) {
        if (!present(raw[start])) {
            ++start;
            continue;
        }
        std::size_t end = start;
        while (end < raw.size() && present(raw[end])) ++end;
        if (end - start >= static_cast<std::size_t>(kMinFilteredRun) &&
            !filter_run(raw.subspan(start, end - start), wavelength, offset, log,
                        out.subspan(start, end - start), ws))
            result.spline_failed = true;
        start = end;
    }
    for (std::size_t k = 0; k < raw.size(); ++k) result.filtered += out[k] != kMissing;
    return result;
}

}  // namespace kestrovan
