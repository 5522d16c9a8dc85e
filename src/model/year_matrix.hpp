#pragma once
// A year-by-series (or position-by-series) matrix of single-precision values, column-major,
// sized to the data, with −999.0 in empty cells.
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <span>
#include <vector>

namespace kestrovan {

inline constexpr int kMaxSeries = 4500;  // series limit printed in the banner
inline constexpr int kMaxYears = 5000;   // values per series, and years per chronology
inline constexpr float kMissing = -999.0f;

class YearMatrix {
public:
    YearMatrix() = default;
    YearMatrix(int rows, int cols) { resize(rows, cols); }

    int rows() const { return rows_; }
    int cols() const { return cols_; }

    // Changes the shape, keeping every value whose cell still exists; new cells hold −999.0.
    void resize(int rows, int cols) {
        std::vector<float> next(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), kMissing);
        const int keep_r = std::min(rows, rows_), keep_c = std::min(cols, cols_);
        for (int j = 0; j < keep_c; ++j)
            std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(j) * rows_, keep_r,
                        next.begin() + static_cast<std::ptrdiff_t>(j) * rows);
        values_.swap(next);
        rows_ = rows;
        cols_ = cols;
    }
    void fill(float v = kMissing) { std::fill(values_.begin(), values_.end(), v); }

    // Zero-based row r, column c.
    float& operator()(int r, int c) {
        assert(r >= 0 && r < rows_ && c >= 0 && c < cols_);
        return values_[static_cast<std::size_t>(c) * rows_ + r];
    }
    float operator()(int r, int c) const {
        assert(r >= 0 && r < rows_ && c >= 0 && c < cols_);
        return values_[static_cast<std::size_t>(c) * rows_ + r];
    }
    std::span<float> column(int c) {
        return {values_.data() + static_cast<std::size_t>(c) * rows_, static_cast<std::size_t>(rows_)};
    }
    std::span<const float> column(int c) const {
        return {values_.data() + static_cast<std::size_t>(c) * rows_, static_cast<std::size_t>(rows_)};
    }

private:
    int rows_ = 0;
    int cols_ = 0;
    std::vector<float> values_;
};

}  // namespace kestrovan
