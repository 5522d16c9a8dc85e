#pragma once
// A Plotter for tests: draws nothing, reads no input, and records the titles and legends of the
// plots it was asked for.
#include <string>
#include <vector>

#include "plot/plotter.hpp"

namespace kestrovan::testdata {

class RecordingPlotter : public Plotter {
public:
    std::vector<std::string> titles;
    std::vector<std::string> legends;
    int scatter_calls = 0;
    std::vector<int> scatter_counts;

    bool enabled() const override { return true; }
    void plot1(std::span<const float>, std::span<const float>, int, std::string_view,
               std::string_view, std::string_view title, std::span<const float>,
               std::string_view legend1, std::string_view legend2, float, float, float) override {
        titles.emplace_back(title);
        legends.emplace_back(legend1);
        legends.emplace_back(legend2);
    }
    void plt1(std::span<const float>, std::span<const float>, int, int, float, std::string_view,
              int) override {}
    void plt2(const YearMatrix&, std::span<const YearSpan>, float) override {}
    bool plt3(std::span<const float>, std::span<const float>, std::span<const float>, int, int,
              float, int, std::string_view, std::string_view, int, int) override {
        return true;
    }
    void plt4(const YearMatrix&, int, int, int, float) override {}
    void plt5(const YearMatrix&, int, int, int, float) override {}
    void plt6(std::span<const float>, std::span<const float>, std::span<const float>, int,
              std::string_view, std::string_view) override {}
    void spaghetti(const YearMatrix&, int, int, std::span<const float>, int, std::string_view,
                   std::string_view, std::string_view, std::string_view, std::string_view) override {}
    void linguine2(const YearMatrix&, const YearMatrix&, std::span<const float>,
                   std::span<const YearSpan>, YearSpan, std::string_view, std::string_view,
                   std::string_view, std::string_view, std::string_view) override {}
    void scatplt(const YearMatrix&, const YearMatrix&, std::span<const float>,
                 std::span<const float>, std::span<const int> counts, float, float,
                 float) override {
        ++scatter_calls;
        scatter_counts.assign(counts.begin(), counts.end());
    }
};

}  // namespace kestrovan::testdata
