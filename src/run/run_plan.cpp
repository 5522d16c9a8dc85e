#include "run/run_plan.hpp"

#include <array>
#include <charconv>
#include <cstdlib>
#include <type_traits>
#include <utility>

namespace kestrovan {

namespace {

struct NamedCode {
    const char* name;
    int code;
};

constexpr std::array<NamedCode, 2> kStabilization{{{"none", 0}, {"age-dependent-spline", 1}}};

template <std::size_t N>
std::optional<int> code_in(const std::array<NamedCode, N>& list, std::string_view name, int wavelength,
                           int percent) {
    for (const NamedCode& n : list)
        if (name == n.name) return n.code;
    if (name == "fixed-spline") return wavelength;
    if (name == "percent-spline") return -percent;
    return std::nullopt;
}

template <std::size_t N>
std::string name_in(const std::array<NamedCode, N>& list, int code) {
    for (const NamedCode& n : list)
        if (n.code == code) return n.name;
    if (code >= 10) return "fixed-spline";
    if (code <= -10) return "percent-spline";
    return std::to_string(code);
}

// A curve of a list by its run-file name; the splines with a length take it from "wavelength"
// or "percent".
std::optional<int> curve_code(CurveList list, std::string_view name, int wavelength, int percent) {
    const CurveFamily* f = curve_family(list, name);
    if (!f) return std::nullopt;
    if (f->id == CurveFamilyId::FixedSpline) return wavelength;
    if (f->id == CurveFamilyId::PercentSpline) return -percent;
    return f->in(list).code;
}

std::string curve_name(CurveList list, int code) {
    const CurveFamily* f = curve_family(list, code);
    return f && f->in(list).listed() ? std::string(f->name) : std::to_string(code);
}

}  // namespace

std::optional<int> per_series_code(std::string_view name, int wavelength, int percent) {
    return curve_code(CurveList::PerSeries, name, wavelength, percent);
}
std::optional<int> regional_code(std::string_view name, int wavelength, int percent) {
    return curve_code(CurveList::Regional, name, wavelength, percent);
}
std::string per_series_name(int code) { return curve_name(CurveList::PerSeries, code); }
std::string regional_name(int code) { return curve_name(CurveList::Regional, code); }
std::string per_series_names() { return curve_names_text(CurveList::PerSeries); }
std::string regional_names() { return curve_names_text(CurveList::Regional); }

std::optional<int> stabilization_code(std::string_view name, int wavelength, int percent) {
    return code_in(kStabilization, name, wavelength, percent);
}
std::string stabilization_name(int code) { return name_in(kStabilization, code); }

const char* selection_key(int choice) {
    switch (choice) {
        case 2: return "min_segment_length";
        case 3: return "max_start_year";
        case 4: return "min_start_year";
        case 5: return "truncate_before";
        case 6: return "truncate_after";
        case 7: return "common_period";
        default: return "";
    }
}

RunOptions options_of(const RunPlan& plan) {
    RunOptions o = plan.options;
    if (plan.rcs()) {
        const RegionalChoice& c = plan.first.curve;
        o.regional_curve = c.code;
        const CurveSetting setting = setting_of(CurveList::Regional, c.code);
        if (setting == CurveSetting::Alpha) o.alpha = o.smoothing_window = c.alpha;
        if (setting == CurveSetting::Window) o.smoothing_window = c.window;
        if (setting == CurveSetting::Stiffness) o.spline_stiffness = c.stiffness;
    }
    o.rescale_to_one = o.median_differences = o.tweaks;
    return o;
}

namespace {

// The keys of the table's questions at `place`, in the table's order.
void add_question_keys(std::vector<std::string>& keys, QuestionPlace place) {
    for (const Question& q : questions())
        if (q.place == place) keys.emplace_back(q.key);
}

}  // namespace

// The keys of the data, the selection, the curve, the stabilization and the statistics, with those
// of the dialogue's table of questions at their places.
const std::vector<std::string>& run_file_keys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k{"data",     "format", "header_lines", "columns",
                                   "sentinel", "units",  "fill_gaps"};
        add_question_keys(k, QuestionPlace::BeforeSelection);
        k.insert(k.end(), {"min_segment_length", "max_start_year", "min_start_year", "truncate_before",
                           "truncate_after", "common_period", "save_selection", "curve", "stiffness", "alpha",
                           "wavelength", "percent", "pith", "pith_format", "pith_header_lines",
                           "regional_curve", "window", "truncation_age", "tree_ring_plots"});
        add_question_keys(k, QuestionPlace::AfterCurve);
        k.insert(k.end(), {"stabilization", "stabilization_wavelength", "stabilization_percent",
                           "signal_free_stabilization", "signal_free_stabilization_wavelength",
                           "signal_free_stabilization_percent"});
        add_question_keys(k, QuestionPlace::AfterStabilization);
        k.insert(k.end(), {"plots", "plot_size", "tree_id", "statistics_period", "min_overlap",
                           "eps_threshold", "truncate_at", "crossdating", "retry"});
        return k;
    }();
    return keys;
}

}  // namespace kestrovan

namespace kestrovan {

double decimal_double(float value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::strtod(std::string(buf, r.ptr).c_str(), nullptr);
}

PlanValue question_value(const Question& question, const RunOptions& options) {
    return std::visit(
        [&]<class T>(const Fills<T>& f) -> PlanValue {
            const T v = options.*f.field;
            if constexpr (std::is_same_v<T, bool>) {
                return v;
            } else if constexpr (std::is_same_v<T, float>) {
                return decimal_double(v);
            } else {
                const char* name = name_of(question, static_cast<int>(v));
                if (name) return std::string(name);
                return static_cast<long long>(v);
            }
        },
        question.fills);
}

namespace {

using Entries = std::vector<PlanEntry>;

void add(Entries& out, const char* key, PlanValue value) { out.push_back({key, std::move(value)}); }

// The keys of the table's questions at `place`: every one with `all`, else those the choices use.
void question_entries(Entries& out, const RunOptions& o, QuestionPlace place, bool all) {
    for (const Question& q : questions())
        if (q.place == place && (all || !q.written || q.written(o))) add(out, q.key, question_value(q, o));
}

// The keys of one attempt of a [[retry]] table: the Regional curve with its setting, the
// truncation age and the tree-ring plot question.
void attempt_entries(Entries& out, const PlanAttempt& a) {
    const RegionalChoice& c = a.curve;
    add(out, "regional_curve", regional_name(c.code));
    const CurveSetting setting = setting_of(CurveList::Regional, c.code);
    if (setting == CurveSetting::Alpha) add(out, "alpha", static_cast<long long>(c.alpha));
    if (setting == CurveSetting::Stiffness) add(out, "stiffness", static_cast<long long>(c.stiffness));
    if (setting == CurveSetting::Window) add(out, "window", static_cast<long long>(c.window));
    if (c.code >= 10) add(out, "wavelength", static_cast<long long>(c.code));
    if (c.code <= -10) add(out, "percent", -static_cast<long long>(c.code));
    add(out, "truncation_age", static_cast<long long>(a.truncation_age));
    add(out, "tree_ring_plots", a.tree_ring_plots);
}

// A stabilization option as its name and its number key ("stabilization" or the signal-free one).
void stabilization_entries(Entries& out, const std::string& key, int code, bool all) {
    add(out, key.c_str(), stabilization_name(code));
    if (all || code >= 10)
        out.push_back(
            {key + "_wavelength", code >= 10 ? PlanValue(static_cast<long long>(code)) : PlanValue()});
    if (all || code <= -10)
        out.push_back(
            {key + "_percent", code <= -10 ? PlanValue(static_cast<long long>(-code)) : PlanValue()});
}

void data_entries(Entries& out, const RunPlan& p, bool all) {
    add(out, "data", p.data);
    add(out, "format", file_kind_name(p.load.kind));
    const bool columns = takes_header_lines(p.load.kind);
    const bool multiple = p.load.kind == FileKind::MultipleColumns;
    if (all || columns) add(out, "header_lines", static_cast<long long>(p.load.header_lines));
    if (all || multiple)
        add(out, "columns", multiple ? PlanValue(static_cast<long long>(p.load.columns)) : PlanValue());
    if (all || multiple) add(out, "sentinel", multiple ? PlanValue(p.load.sentinel) : PlanValue());
    const bool table = file_format(p.load.kind).units;
    if (all || (table && p.load.unit_parts != 1))
        add(out, "units", table ? PlanValue(unit_name(p.load.unit_parts)) : PlanValue());
    if (all || p.fill_gaps) add(out, "fill_gaps", p.fill_gaps);
    question_entries(out, p.options, QuestionPlace::BeforeSelection, all);
    for (int choice = 2; choice <= 7; ++choice) {
        const bool chosen = p.selection.choice == choice;
        if (!all && !chosen) continue;
        PlanValue v;
        if (chosen && choice == 7)
            v = std::vector<long long>{p.selection.value1, p.selection.value2};
        else if (chosen)
            v = static_cast<long long>(p.selection.value1);
        add(out, selection_key(choice), v);
    }
    if (all || p.selection.choice != 1) add(out, "save_selection", p.save_selection);
}

// The curve keys: the per-series curve, or with RCS the Regional curve of the first attempt.
void curve_entries(Entries& out, const RunPlan& p, bool all) {
    const bool rcs = p.rcs();
    const RegionalChoice& rc = p.first.curve;
    const int code = rcs ? rc.code : p.options.curve_option;  // the code the splines and alpha belong to
    auto number = [](bool applies, long long v) { return applies ? PlanValue(v) : PlanValue(); };
    add(out, "curve", per_series_name(p.options.curve_option));
    // With RCS the start stiffness; the first attempt's age-dependent spline, when re-selected, wins.
    if (all || rcs || p.options.curve_option == kCurveAgeSpline)
        add(out, "stiffness",
            static_cast<long long>(rcs && rc.code == kCurveRcs ? rc.stiffness : p.options.spline_stiffness));
    if (all || code == -5) add(out, "alpha", static_cast<long long>(rcs && code == -5 ? rc.alpha : p.options.alpha));
    if (all || code >= 10) add(out, "wavelength", number(code >= 10, code));
    if (all || code <= -10) add(out, "percent", number(code <= -10, -static_cast<long long>(code)));
    if (all || rcs) add(out, "pith", rcs && !p.pith.empty() ? PlanValue(p.pith) : PlanValue());
    if (all || (rcs && !p.pith.empty())) {
        add(out, "pith_format",
            p.pith_reading.one_per_line ? std::string("one-per-line") : p.pith_reading.format);
        add(out, "pith_header_lines", static_cast<long long>(p.pith_reading.header_lines));
    }
    if (!all && !rcs) return;
    add(out, "regional_curve", regional_name(rc.code));
    const bool windowed = rcs && setting_of(CurveList::Regional, rc.code) == CurveSetting::Window;
    if (all || windowed) add(out, "window", number(windowed, rc.window));
    add(out, "truncation_age", static_cast<long long>(p.first.truncation_age));
    add(out, "tree_ring_plots", p.first.tree_ring_plots);
}

}  // namespace

std::vector<PlanEntry> plan_entries(const RunPlan& p, bool applicable_only) {
    const bool all = !applicable_only;
    Entries out;
    data_entries(out, p, all);
    curve_entries(out, p, all);
    question_entries(out, p.options, QuestionPlace::AfterCurve, all);
    if (all || p.options.rbar_window > 0) stabilization_entries(out, "stabilization", p.options.stabilization, all);
    if (p.signal_free_stabilization)
        stabilization_entries(out, "signal_free_stabilization", *p.signal_free_stabilization, all);
    else if (all)
        add(out, "signal_free_stabilization", std::string("same"));
    question_entries(out, p.options, QuestionPlace::AfterStabilization, all);
    add(out, "plots", p.plots);
    if (p.plot_size.width > 0)
        add(out, "plot_size", plot_size_text(p.plot_size));
    else if (all)
        add(out, "plot_size", PlanValue());
    const StatisticsSettings& st = p.statistics;
    if (st.tree_id == "auto") {
        add(out, "tree_id", st.tree_id);
    } else if (!st.tree_id.empty()) {
        const auto comma = st.tree_id.find(',');
        add(out, "tree_id",
            std::vector<long long>{std::stoll(st.tree_id.substr(0, comma)),
                                   std::stoll(st.tree_id.substr(comma + 1))});
    } else if (all) {
        add(out, "tree_id", PlanValue());
    }
    if (st.has_period())
        add(out, "statistics_period", std::vector<long long>{st.period_first, st.period_last});
    else if (all)
        add(out, "statistics_period", PlanValue());
    if (all || st.min_overlap != kDefaultMinOverlap)
        add(out, "min_overlap", static_cast<long long>(st.min_overlap));
    if (all || st.eps_threshold != kDefaultEpsThreshold)
        add(out, "eps_threshold", decimal_double(st.eps_threshold));
    if (!st.truncate_at.empty())
        add(out, "truncate_at", st.truncate_at);
    else if (all)
        add(out, "truncate_at", PlanValue());
    return out;
}

std::vector<PlanEntry> crossdating_entries(const RunPlan& p, bool applicable_only) {
    const CrossdatingSettings& c = p.crossdating;
    Entries out;
    if (applicable_only && c == CrossdatingSettings{}) return out;
    const CrossdatingOptions& o = c.options;
    add(out, "enabled", c.enabled);
    add(out, "segment_length", static_cast<long long>(o.segment_length));
    add(out, "lag", static_cast<long long>(o.lag));
    add(out, "spline_wavelength", static_cast<long long>(o.spline_wavelength));
    add(out, "max_shift", static_cast<long long>(o.max_shift));
    add(out, "log", o.log);
    add(out, "critical_level", o.critical_level);
    add(out, "min_master_depth", static_cast<long long>(o.min_master_depth));
    return out;
}

std::vector<std::vector<PlanEntry>> retry_entries(const RunPlan& p) {
    std::vector<std::vector<PlanEntry>> out;
    if (!p.rcs()) return out;
    Entries first;
    attempt_entries(first, p.first);
    std::size_t last_differing = 0;
    for (std::size_t k = 0; k < p.retries.size(); ++k) {
        Entries mine, differing;
        attempt_entries(mine, p.retries[k]);
        const bool other_curve = !same_regional_curve(p.retries[k].curve, p.first.curve);
        for (PlanEntry& e : mine) {
            bool same = false;
            for (const PlanEntry& f : first) same = same || (f.key == e.key && f.value == e.value);
            // A re-selected curve names its code and setting even where they equal the first's.
            if (!same || (other_curve && e.key != "truncation_age" && e.key != "tree_ring_plots"))
                differing.push_back(std::move(e));
        }
        if (!differing.empty()) last_differing = k + 1;
        out.push_back(std::move(differing));
    }
    out.resize(last_differing);
    return out;
}

}  // namespace kestrovan
