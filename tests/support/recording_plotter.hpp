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
    std::vector<std::vector<float>> first_lines, second_lines;  // y1 and y2 of each plot1
    int scatter_calls = 0;
    std::vector<int> scatter_counts;

    bool enabled() const override { return true; }
    void plot1(const LinePlot& p) override {
        titles.emplace_back(p.title);
        legends.emplace_back(p.legend1);
        legends.emplace_back(p.legend2);
        first_lines.emplace_back(p.y1.begin(), p.y1.end());
        second_lines.emplace_back(p.y2.begin(), p.y2.end());
    }
    void plt1(std::span<const float>, std::span<const float>, int, int, float, std::string_view, int,
              std::span<const int>) override {}
    void plt2(const YearMatrix&, std::span<const YearSpan>, float) override {}
    bool plt3(const TreeRingPlot&) override { return true; }
    void plt4(const YearMatrix&, int, int, int, float, std::span<const int>) override {}
    void plt5(const YearMatrix&, int, int, int, float, std::span<const int>) override {}
    void plt6(const SpectrumPlot&) override {}
    void spaghetti(const SpaghettiPlot&) override {}
    void linguine2(const LinguinePlot&) override {}
    void scatplt(const YearMatrix&, const YearMatrix&, std::span<const float>, std::span<const float>,
                 std::span<const int> counts, float, float, float) override {
        ++scatter_calls;
        scatter_counts.assign(counts.begin(), counts.end());
    }
};

}  // namespace kestrovan::testdata
