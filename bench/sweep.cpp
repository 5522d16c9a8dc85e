// The real-data sweep: every bundled Tucson ring-width set under every curve, mean, index method
// and convergence criterion, each also on the widths doubled, judged as tests/support/sweep.hpp
// says. Prints one Markdown table row per setting and a summary of the flags; progress goes to
// standard error.
//   sweep [--sets ca533,co021,gp] [--quick] [--threads N] [--data DIR]
//   --sets     the sets to run (default all three)
//   --quick    one curve per set (the age-dependent spline, and RCS where there are pith
//              offsets), biweight mean, ratios, both criteria
//   --threads  settings run at once (default 1: one at a time, the engine on every core)
//   --data     where the .rwl files are (default examples/data); a set's pith offsets are read
//              from <set>_pith.txt there or in ../shared/data
// Exit status 0 when the sweep ran (flags or not), 2 on a bad argument or unreadable data.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "model/workers.hpp"
#include "support/sweep.hpp"

namespace {

using namespace kestrovan;
using namespace kestrovan::sweep;

struct Arguments {
    std::vector<std::string> sets{"ca533", "co021", "gp"};
    bool quick = false;
    int threads = 1;
    std::string data = "examples/data";
};

int usage() {
    std::fprintf(stderr, "usage: sweep [--sets ca533,co021,gp] [--quick] [--threads N] [--data DIR]\n");
    return 2;
}

std::vector<std::string> split(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        if (comma != 0) out.emplace_back(text.substr(0, comma));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return out;
}

bool parse(int argc, char** argv, Arguments& a) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--quick") {
            a.quick = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const std::string_view value = argv[++i];
        if (arg == "--sets") {
            a.sets = split(value);
            if (a.sets.empty()) return false;
        } else if (arg == "--threads") {
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), a.threads);
            if (error != std::errc() || end != value.data() + value.size() || a.threads < 1) return false;
            a.threads = std::min(a.threads, kMaxWorkerThreads);
        } else if (arg == "--data") {
            a.data = value;
        } else {
            return false;
        }
    }
    return true;
}

// One row of the table: a setting on the widths as read and on the widths doubled.
struct Row {
    std::size_t set = 0;  // index into the loaded sets
    SweepSetting setting;
    SweepRun once, doubled;
    int partner = -1;  // the row of the same setting with the other criterion, if it is swept
};

std::vector<Row> plan(const std::vector<DataSet>& sets, bool quick) {
    std::vector<Row> rows;
    for (std::size_t s = 0; s < sets.size(); ++s) {
        std::vector<Curve> curves(kPerSeriesCurves.begin(), kPerSeriesCurves.end());
        if (quick) curves = {kAgeSpline};
        if (!sets[s].pith_offsets.empty()) curves.push_back(kRegional);
        for (const Curve& curve : curves)
            for (int mean : kMeanMethods)
                for (IndexMethod index : kIndexMethods) {
                    if (quick && (mean != kMeanBiweight || index != IndexMethod::Ratios)) continue;
                    const int first = static_cast<int>(rows.size());
                    for (float criterion : kCriteria) {
                        Row row;
                        row.set = s;
                        row.setting = {sets[s].name, curve, mean, index, criterion, 1.0f};
                        rows.push_back(std::move(row));
                    }
                    rows[first].partner = first + 1;
                    rows[first + 1].partner = first;
                }
    }
    return rows;
}

const char* mean_name(int mean) { return mean == kMeanArithmetic ? "arithmetic" : "biweight"; }
const char* index_name(IndexMethod index) { return index == IndexMethod::Ratios ? "ratios" : "residuals"; }

std::string criterion_text(float c) {
    char text[16];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(c));
    return text;
}

std::string describe(const SweepSetting& s) {
    return s.set + " | " + s.curve.name + " | " + mean_name(s.mean_method) + " | " +
           index_name(s.index_method) + " | " + criterion_text(s.convergence);
}

std::string fixed(double v, int decimals) {
    if (!std::isfinite(v)) return "∞";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

// A table cell: no vertical bar or line end may break the row.
std::string cell(std::string text) {
    std::replace(text.begin(), text.end(), '|', '/');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// The x2 cell: the largest difference of either chronology (each named when both moved), and
// what else the doubled widths changed.
std::string scaling_cell(const Row& row, const ScalingChange& c) {
    if (!c.comparable()) return "—";
    std::string text = fixed(c.max(), 4);
    if (c.standard.max > kScaleChange && c.signal_free.max > kScaleChange)
        text += " (Std " + fixed(c.standard.max, 4) + ", Ssf " + fixed(c.signal_free.max, 4) + ")";
    else if (c.max() > kScaleChange)
        text += c.standard.max > kScaleChange ? " (Std)" : " (Ssf)";
    const SweepRun &a = row.once, &b = row.doubled;
    if (a.outcome != b.outcome) text += " (" + a.outcome + " / " + b.outcome + ")";
    if (a.completed && b.completed) {
        if (a.iteration != b.iteration)
            text += " (iter " + std::to_string(a.iteration) + "/" + std::to_string(b.iteration) + ")";
        if (a.constant != b.constant)
            text += " (const " + fixed(a.constant, 1) + "/" + fixed(b.constant, 1) + ")";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!parse(argc, argv, args)) return usage();

    std::vector<DataSet> sets;
    try {
        for (const std::string& name : args.sets)
            sets.push_back(load_set(args.data, name, {"../shared/data"}));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sweep: %s\n", e.what());
        return 2;
    }

    for (const DataSet& set : sets)
        if (set.pith_offsets.empty())
            std::fprintf(stderr, "sweep: %s has no pith offsets (%s_pith.txt): no RCS settings\n",
                         set.name.c_str(), set.name.c_str());
    std::vector<Row> rows = plan(sets, args.quick);
    // Two runs per row (widths as read, widths doubled), shared out over the workers.
    const int runs = static_cast<int>(rows.size()) * 2;
    const int engine_threads = args.threads > 1 ? 1 : kThreadsFromEnvironment;
    std::atomic<int> next{0};
    std::mutex progress;
    int done = 0;
    const auto started = std::chrono::steady_clock::now();
    run_workers(args.threads, [&](int) {
        for (int job; (job = next.fetch_add(1)) < runs;) {
            Row& row = rows[static_cast<std::size_t>(job / 2)];
            const bool doubled = job % 2 == 1;
            SweepSetting setting = row.setting;
            if (doubled) setting.width_factor = 2.0f;
            const auto t0 = std::chrono::steady_clock::now();
            SweepRun run = run_setting(sets[row.set], setting, engine_threads);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            std::lock_guard<std::mutex> lock(progress);
            std::fprintf(stderr, "sweep: [%d/%d] %s%s: %s, iteration %d, constant %.1f (%.1f s)\n", ++done,
                         runs, describe(setting).c_str(), doubled ? " | widths x2" : "", run.outcome.c_str(),
                         run.iteration, static_cast<double>(run.constant), seconds);
            (doubled ? row.doubled : row.once) = std::move(run);
        }
    });

    std::printf(
        "| set | curve | mean | index | criterion | outcome | iter | const | Ssf min–max | r | "
        "change between criteria mean/max | x2 max diff | flags |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    const std::vector<std::string> flag_names{"r", "m31", "max", "low", "crit", "x2", "bad", "none"};
    std::map<std::string, int> counts;
    int flagged = 0;
    for (const Row& row : rows) {
        const Judgement j = judge(row.once);
        // The pair of criteria is judged once, on the row of the default (finer) criterion.
        const bool fine = row.setting.convergence == kFineCriterion && row.partner >= 0;
        Difference criteria;
        if (fine) criteria = compare_criteria(row.once, rows[static_cast<std::size_t>(row.partner)].once);
        const ScalingChange scaling = compare_scaling(row.once, row.doubled);
        const std::vector<std::string> flags =
            setting_flags(row.once, row.doubled, fine ? &criteria : nullptr);
        std::string flag_text;
        for (const std::string& f : flags) {
            flag_text += (flag_text.empty() ? "" : " ") + f;
            ++counts[f];
        }
        if (!flags.empty()) ++flagged;
        const SweepRun& r = row.once;
        const bool results = r.completed && j.years > 0;
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n",
                    row.setting.set.c_str(), row.setting.curve.name, mean_name(row.setting.mean_method),
                    index_name(row.setting.index_method), criterion_text(row.setting.convergence).c_str(),
                    cell(r.outcome).c_str(), r.completed ? std::to_string(r.iteration).c_str() : "—",
                    r.completed ? fixed(r.constant, 1).c_str() : "—",
                    results ? (fixed(j.ssf_min, 3) + "–" + fixed(j.ssf_max, 3)).c_str() : "—",
                    results ? fixed(j.r, 3).c_str() : "—",
                    fine && criteria.comparable
                        ? (fixed(criteria.mean, 4) + " / " + fixed(criteria.max, 4)).c_str()
                        : "—",
                    cell(scaling_cell(row, scaling)).c_str(), flag_text.c_str());
    }
    std::printf("\n%d of %zu settings flagged\n", flagged, rows.size());
    std::string summary;
    for (const std::string& f : flag_names)
        summary += (summary.empty() ? "" : ", ") + f + " " + std::to_string(counts[f]);
    std::printf("flags: %s\n", summary.c_str());
    std::fprintf(stderr, "sweep: %d runs in %.0f s\n", runs,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return 0;
}
