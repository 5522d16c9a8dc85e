#include "run/run_file.hpp"

#include <toml++/toml.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <type_traits>

#include "console/ask.hpp"
#include "plot/plot_device.hpp"
#include "run/run_start.hpp"

namespace kestrovan {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSplineYears = "10 to 100000 (years)";
constexpr const char* kSplinePercent = "10 to 1000";
// The keys a [[retry]] table may hold.
const std::vector<std::string> kAttemptKeys{"regional_curve", "alpha",   "stiffness",      "window",
                                            "wavelength",     "percent", "truncation_age", "tree_ring_plots"};

// The number of single-character edits that turn a into b (for "did you mean").
std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The keys of one table of the run file, read one by one with their types and ranges.
class Keys {
public:
    Keys(const toml::table& table, std::string where) : table_(table), where_(std::move(where)) {}

    bool has(const std::string& key) const { return table_.contains(key); }

    // The value as the file writes it, for messages.
    std::string text(const std::string& key) const {
        const toml::node* n = table_.get(key);
        return n ? node_text(*n) : std::string();
    }

    // A value on one line: strings quoted with their control characters escaped, and arrays and
    // tables with their first few elements only.
    static std::string node_text(const toml::node& n) {
        constexpr std::size_t kShown = 5;
        if (n.is_string()) return toml_string(n.as_string()->get());
        if (const toml::array* a = n.as_array()) {
            std::string t = "[";
            for (std::size_t i = 0; i < a->size() && i < kShown; ++i)
                t += (i ? ", " : " ") + node_text((*a)[i]);
            if (a->size() > kShown) t += ", ... (" + std::to_string(a->size()) + " values)";
            return t + " ]";
        }
        if (const toml::table* tb = n.as_table()) {
            std::string t = "{";
            std::size_t i = 0;
            for (const auto& [k, v] : *tb) {
                if (i == kShown) {
                    t += ", ... (" + std::to_string(tb->size()) + " keys)";
                    break;
                }
                t += std::string(i++ ? ", " : " ") + std::string(k.str()) + " = " + node_text(v);
            }
            return t + " }";
        }
        std::ostringstream s;
        n.visit([&](const auto& v) { s << v; });
        return s.str();
    }

    [[noreturn]] void refuse(const std::string& key, const std::string& allowed) const {
        throw RunFileError(where_ + key + " = " + text(key) + ": " + allowed);
    }
    [[noreturn]] void missing(const std::string& key, const std::string& why) const {
        throw RunFileError(where_ + key + ": " + why);
    }

    long long integer(const std::string& key, long long lo, long long hi, long long fallback) const {
        const toml::node* n = table_.get(key);
        if (!n) return fallback;
        const auto* v = n->as_integer();
        const std::string range =
            lo <= INT_MIN ? "a whole number"
                          : "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
        if (!v || v->get() < lo || v->get() > hi) refuse(key, range);
        return v->get();
    }
    int whole(const std::string& key, long long lo, long long hi, int fallback) const {
        return static_cast<int>(integer(key, lo, hi, fallback));
    }
    bool boolean(const std::string& key, bool fallback) const {
        const toml::node* n = table_.get(key);
        if (!n) return fallback;
        if (!n->is_boolean()) refuse(key, "true or false");
        return n->as_boolean()->get();
    }
    std::string string(const std::string& key, const std::string& fallback,
                       const std::string& allowed) const {
        const toml::node* n = table_.get(key);
        if (!n) return fallback;
        if (!n->is_string()) refuse(key, allowed);
        return n->as_string()->get();
    }
    double number(const std::string& key, double fallback) const {
        const toml::node* n = table_.get(key);
        if (!n) return fallback;
        if (const auto* i = n->as_integer()) return static_cast<double>(i->get());
        if (!n->is_floating_point() || !std::isfinite(n->as_floating_point()->get()))
            refuse(key, "a finite number");
        return n->as_floating_point()->get();
    }
    // A key that the choices do not use may be left out, or keep its default (`is_default`).
    void only_with(const std::string& key, bool applies, bool is_default,
                   const std::string& condition) const {
        if (!applies && has(key) && !is_default) refuse(key, "only with " + condition);
    }
    // Refuses a key that is not one of `known`, naming the nearest known key.
    void unknown(const std::vector<std::string>& known) const {
        for (const auto& [k, v] : table_) {
            const std::string key(k.str());
            if (std::find(known.begin(), known.end(), key) != known.end()) continue;
            std::string nearest;
            for (const std::string& n : known)
                if (edit_distance(key, n) <= 2 &&
                    (nearest.empty() || edit_distance(key, n) < edit_distance(key, nearest)))
                    nearest = n;
            throw RunFileError(where_ + "unknown key \"" + key + "\"" +
                               (nearest.empty() ? std::string() : " (did you mean " + nearest + "?)"));
        }
    }
    const toml::table& table() const { return table_; }
    const std::string& where() const { return where_; }

private:
    const toml::table& table_;
    std::string where_;
};

// A spline's length from its key: the wavelength (years) or the percent, 0 when not named.
int spline_number(const Keys& k, const std::string& key, bool required, bool percent) {
    if (required && !k.has(key))
        k.missing(key, std::string("required with this spline (") +
                           (percent ? kSplinePercent : kSplineYears) + ")");
    return percent ? k.whole(key, 10, -kMinPercentCode, 0) : k.whole(key, 10, kMaxWavelength, 0);
}

// A curve name of a list with its spline length; `key` is "curve" or "regional_curve".
int curve_code(const Keys& k, const std::string& key, const std::string& fallback, bool regional,
               const char* prefix = "") {
    const std::string allowed = regional ? regional_names() : per_series_names();
    const std::string name = k.string(key, fallback, "one of " + allowed);
    const std::string p(prefix);
    const int wavelength = spline_number(k, p + "wavelength", name == "fixed-spline", false);
    const int percent = spline_number(k, p + "percent", name == "percent-spline", true);
    const auto code =
        regional ? regional_code(name, wavelength, percent) : per_series_code(name, wavelength, percent);
    if (!code) k.refuse(key, "one of " + allowed);
    return *code;
}

void read_data_keys(const Keys& k, const RunFileRequest& request, const std::string& dir, RunPlan& plan) {
    plan.data = k.string("data", "", "a file name");
    if (!request.data.empty())
        plan.data = request.data;
    else if (!plan.data.empty() && fs::path(plan.data).is_relative() && !dir.empty())
        plan.data = (fs::path(dir) / plan.data).lexically_normal().string();
    if (plan.data.empty() && request.need_data) k.missing("data", "no data file is named (data = \"FILE\")");

    const std::string kinds = format_names_text();
    const auto kind = file_kind_of(k.string("format", "ring-widths", kinds));
    if (!kind) k.refuse("format", kinds);
    plan.load.kind = *kind;
    const bool columns = takes_header_lines(*kind);
    const bool multiple = *kind == FileKind::MultipleColumns;
    plan.load.header_lines = k.whole("header_lines", 0, INT_MAX, 0);
    k.only_with("header_lines", columns, plan.load.header_lines == 0,
                "format = " + format_names_text(&FileFormat::header_lines));
    const std::string units = "\"mm\", \"1/10 mm\", \"1/20 mm\", \"1/50 mm\", \"1/100 mm\" or \"1/1000 mm\"";
    const auto parts = unit_parts(k.string("units", "mm", units));
    if (!parts) k.refuse("units", units);
    plan.load.unit_parts = *parts;
    k.only_with("units", file_format(*kind).units, *parts == 1,
                "format = " + format_names_text(&FileFormat::units) + " (the other formats say their unit)");
    plan.fill_gaps = k.boolean("fill_gaps", false);
    k.only_with("columns", multiple, false, "format = \"multiple-columns\"");
    k.only_with("sentinel", multiple, false, "format = \"multiple-columns\"");
    if (!multiple) return;
    if (!k.has("columns")) k.missing("columns", "required with format = \"multiple-columns\"");
    if (!k.has("sentinel")) k.missing("sentinel", "required with format = \"multiple-columns\"");
    plan.load.columns = k.whole("columns", 2, kMaxSeries + 1, 0);
    plan.load.sentinel = trim(k.string("sentinel", "", "a text"));
    if (plan.load.sentinel.empty()) k.refuse("sentinel", "a text that is not blank");
}

void read_selection_keys(const Keys& k, RunPlan& plan) {
    std::string named;
    for (int choice = 2; choice <= 7; ++choice) {
        const std::string key = selection_key(choice);
        if (!k.has(key)) continue;
        if (!named.empty()) k.refuse(key, "one selection only (" + named + " is named too)");
        named = key;
        plan.selection.choice = choice;
        // Years lie where the readers take them (kEarliestYear to kLatestYear), so that no
        // arithmetic on them can overflow.
        if (choice == 2) {
            plan.selection.value1 = k.whole(key, INT_MIN, INT_MAX, 0);
            continue;
        }
        if (choice != 7) {
            plan.selection.value1 = k.whole(key, kEarliestYear, kLatestYear, 0);
            continue;
        }
        const toml::array* a = k.table().get(key)->as_array();
        const bool two = a && a->size() == 2 && (*a)[0].is_integer() && (*a)[1].is_integer();
        if (!two) k.refuse(key, "[start, end], two years");
        const long long s = *(*a)[0].value<long long>(), e = *(*a)[1].value<long long>();
        if (s < kEarliestYear || s > kLatestYear || e < kEarliestYear || e > kLatestYear)
            k.refuse(key, "[start, end], two years from " + std::to_string(kEarliestYear) + " to " +
                              std::to_string(kLatestYear));
        if (e < s) k.refuse(key, "an end year that is not before the start year");
        plan.selection.value1 = static_cast<int>(s);
        plan.selection.value2 = static_cast<int>(e);
    }
    plan.save_selection = k.boolean("save_selection", true);
    k.only_with("save_selection", plan.selection.choice != 1, plan.save_selection, "a selection");
}

// The Regional-curve keys of the first attempt (top level) or of a [[retry]] table, over the
// values `a` holds already. In a [[retry]] table a setting the curve does not use is refused.
void read_attempt_keys(const Keys& k, PlanAttempt& a, bool retry) {
    if (k.has("regional_curve") || k.has("wavelength") || k.has("percent"))
        a.curve.code = curve_code(k, "regional_curve", regional_name(a.curve.code), true);
    const int code = a.curve.code;
    a.curve.alpha = k.whole("alpha", INT_MIN, INT_MAX, a.curve.alpha);
    a.curve.stiffness = k.whole("stiffness", INT_MIN, INT_MAX, a.curve.stiffness);
    a.curve.window = k.whole("window", INT_MIN, INT_MAX, a.curve.window);
    if (k.has("window") && a.curve.window == 0)
        k.refuse("window",
                 "3 or more years (odd for \"median\"), or -1 to -100 (percent of the length); "
                 "without a window leave the key out");
    const CurveSetting setting = setting_of(CurveList::Regional, code);
    const bool windowed = setting == CurveSetting::Window;
    if (windowed && !k.has("window") && a.curve.window == 0)
        k.missing("window", "required with regional_curve = " + toml_string(regional_name(code)));
    k.only_with("wavelength", is_family(CurveList::Regional, code, CurveFamilyId::FixedSpline), false,
                "regional_curve = \"fixed-spline\"");
    k.only_with("percent", is_family(CurveList::Regional, code, CurveFamilyId::PercentSpline), false,
                "regional_curve = \"percent-spline\"");
    if (retry) {
        k.only_with("alpha", setting == CurveSetting::Alpha, false, "regional_curve = \"super-smoother\"");
        k.only_with("stiffness", setting == CurveSetting::Stiffness, false,
                    "regional_curve = \"age-dependent-spline\"");
        k.only_with("window", windowed, false, "regional_curve = \"lowess\" or \"median\"");
    }
    a.truncation_age = k.whole("truncation_age", 0, INT_MAX, a.truncation_age);
    a.tree_ring_plots = k.boolean("tree_ring_plots", a.tree_ring_plots);
}

void read_curve_keys(const Keys& k, RunPlan& plan) {
    plan.options.curve_option = curve_code(k, "curve", "age-dependent-spline", false);
    const bool rcs = plan.rcs();
    plan.options.spline_stiffness = k.whole("stiffness", INT_MIN, INT_MAX, rcs ? 10 : 50);
    plan.options.alpha = k.whole("alpha", INT_MIN, INT_MAX, 7);
    if (!rcs) {
        const int c = plan.options.curve_option;
        const CurveSetting setting = setting_of(CurveList::PerSeries, c);
        k.only_with("stiffness", setting == CurveSetting::Stiffness, plan.options.spline_stiffness == 50,
                    "curve = \"age-dependent-spline\" or \"rcs\"");
        k.only_with("alpha", setting == CurveSetting::Alpha, plan.options.alpha == 7,
                    "curve = \"super-smoother\" (or regional_curve)");
        k.only_with("wavelength", is_family(CurveList::PerSeries, c, CurveFamilyId::FixedSpline), false,
                    "curve = \"fixed-spline\"");
        k.only_with("percent", is_family(CurveList::PerSeries, c, CurveFamilyId::PercentSpline), false,
                    "curve = \"percent-spline\"");
        for (const char* key : {"pith", "pith_format", "pith_header_lines", "regional_curve", "window",
                                "truncation_age", "tree_ring_plots", "retry"})
            k.only_with(key, false, false, "curve = \"rcs\"");
        return;
    }
    // The start of every RCS run is the age-dependent spline; another curve is a re-selection.
    plan.first.curve = {kCurveRcs, plan.options.alpha, 0, plan.options.spline_stiffness};
    read_attempt_keys(k, plan.first, false);
    const int code = plan.first.curve.code;
    const CurveSetting setting = setting_of(CurveList::Regional, code);
    k.only_with("alpha", setting == CurveSetting::Alpha, plan.options.alpha == 7,
                "regional_curve = \"super-smoother\"");
    k.only_with("window", setting == CurveSetting::Window, plan.first.curve.window == 0,
                "regional_curve = \"lowess\" or \"median\"");

    plan.pith = k.string("pith", "", "a file name");
    if (k.has("pith") && trim(plan.pith).empty())
        k.refuse("pith", "a file name; without a pith-offset file leave the key out");
    const std::string format = k.string("pith_format", "one-per-line", "\"one-per-line\" or a record format");
    plan.pith_reading.header_lines = k.whole("pith_header_lines", 0, INT_MAX, 0);
    k.only_with("pith_format", !plan.pith.empty(), format == "one-per-line", "pith");
    k.only_with("pith_header_lines", !plan.pith.empty(), plan.pith_reading.header_lines == 0, "pith");
    if (format != "one-per-line") {
        const auto field = parse_record_format(format);
        if (!field)
            k.refuse("pith_format",
                     "\"one-per-line\", or a record format with an integer field such as \"(2x,i3)\"");
        plan.pith_reading.one_per_line = false;
        plan.pith_reading.field = *field;
        plan.pith_reading.format = format;
    }
}

// The run-file key of an option of RunOptions::check.
std::string key_of_option(const std::string& option) {
    if (option == "curve_option") return "curve";
    if (option == "spline_stiffness") return "stiffness";
    if (option == "smoothing_window") return "window";
    if (const Question* q = question_of_option(option)) return q->key;
    return option;
}

// The keys of the dialogue's questions at `place`, each read by the type of its field: a whole
// number of any size (RunOptions::check holds it to its range), a choice by its names.
void read_question_keys(const Keys& k, RunPlan& plan, QuestionPlace place) {
    const RunOptions defaults;
    for (const Question& q : questions()) {
        if (q.place != place) continue;
        std::visit(
            [&]<class T>(const Fills<T>& f) {
                T v = defaults.*f.field;
                if constexpr (std::is_same_v<T, bool>) {
                    v = k.boolean(q.key, v);
                } else if constexpr (std::is_same_v<T, float>) {
                    v = static_cast<float>(k.number(q.key, v));
                } else if (q.names.empty()) {
                    v = static_cast<T>(k.whole(q.key, INT_MIN, INT_MAX, static_cast<int>(v)));
                } else {
                    const std::string allowed = names_text(q);
                    const char* fallback = name_of(q, static_cast<int>(v));
                    const auto value = value_named(q, k.string(q.key, fallback ? fallback : "", allowed));
                    if (!value) k.refuse(q.key, allowed);
                    v = static_cast<T>(*value);
                }
                plan.options.*f.field = v;
            },
            q.fills);
    }
}

// The options the answers give for an attempt, checked as the dialogue checks them.
void check_options(const Keys& k, const RunPlan& plan, const PlanAttempt& attempt) {
    RunPlan p = plan;
    p.first = attempt;
    RunOptions options = options_of(p);
    // The median-length spline becomes a spline of the median segment length once the series are
    // selected, as in the dialogue: any valid wavelength stands for it here.
    if (options.curve_option == kCurveMedianLength) options.curve_option = kFirstWavelengthCode;
    if (const auto problem = options.check()) {
        const std::string key = key_of_option(problem->option);
        throw RunFileError(k.where() + key + " = " + (k.has(key) ? k.text(key) : problem->value) + ": " +
                           problem->allowed);
    }
}

void read_retry_tables(const Keys& k, RunPlan& plan) {
    const toml::node* n = k.table().get("retry");
    if (!n) return;
    const toml::array* a = n->as_array();
    if (!a || !a->is_array_of_tables()) k.refuse("retry", "[[retry]] tables");
    // The retries are gathered apart and stored at the end: each check copies the plan, which
    // must not carry the retries read so far (a copy of them per table would take quadratic time).
    std::vector<PlanAttempt> retries;
    retries.reserve(a->size());
    for (std::size_t i = 0; i < a->size(); ++i) {
        const Keys r(*(*a)[i].as_table(), k.where() + "[[retry]] " + std::to_string(i + 1) + ": ");
        r.unknown(kAttemptKeys);
        PlanAttempt attempt = plan.first;
        read_attempt_keys(r, attempt, true);
        check_options(r, plan, attempt);
        retries.push_back(attempt);
    }
    plan.retries = std::move(retries);
}

int stabilization_option(const Keys& k, const std::string& key, const std::string& fallback) {
    const std::string names = "\"none\", \"age-dependent-spline\", \"fixed-spline\" or \"percent-spline\"";
    const std::string name = k.string(key, fallback, names);
    const int wavelength = spline_number(k, key + "_wavelength", name == "fixed-spline", false);
    const int percent = spline_number(k, key + "_percent", name == "percent-spline", true);
    const auto code = stabilization_code(name, wavelength, percent);
    if (!code) k.refuse(key, names);
    return *code;
}

void read_chronology_keys(const Keys& k, RunPlan& plan) {
    read_question_keys(k, plan, QuestionPlace::AfterCurve);
    plan.options.stabilization = stabilization_option(k, "stabilization", "none");
    if (k.has("signal_free_stabilization") && k.string("signal_free_stabilization", "", "") != "same")
        plan.signal_free_stabilization = stabilization_option(k, "signal_free_stabilization", "same");
    k.only_with("signal_free_stabilization", plan.options.stabilization != 0, !plan.signal_free_stabilization,
                "a stabilization other than \"none\" (the signal-free stage starts from it)");
    for (const char* key : {"stabilization", "signal_free_stabilization"}) {
        const std::string name = k.string(key, "", "");
        k.only_with(std::string(key) + "_wavelength", name == "fixed-spline", false,
                    std::string(key) + " = \"fixed-spline\"");
        k.only_with(std::string(key) + "_percent", name == "percent-spline", false,
                    std::string(key) + " = \"percent-spline\"");
    }
    read_question_keys(k, plan, QuestionPlace::AfterStabilization);
    plan.plots = k.string("plots", "off", "\"off\" or a file device");
    const std::string size = k.string("plot_size", "", kPlotSizeForms);
    if (k.has("plot_size")) {
        const auto parsed = parse_plot_size(size);
        if (!parsed) k.refuse("plot_size", kPlotSizeForms);
        plan.plot_size = *parsed;
    }
    k.only_with("plot_size", plan.plots != "off", false, "plots naming a file device");
    if (plan.plots == "off" || run_file_device(plan.plots)) return;
    std::string names;
    for (const char* d : kRunFileDevices) names += std::string(names.empty() ? "" : ", ") + "\"" + d + "\"";
    k.refuse("plots", "\"off\" or a file device that works without a display: " + names);
}

// The statistics keys: how identifiers split into trees, a period, the shortest overlap.
void read_statistics_keys(const Keys& k, RunPlan& plan) {
    StatisticsSettings& s = plan.statistics;
    if (const toml::node* n = k.table().get("tree_id")) {
        const std::string allowed = "\"auto\" or [site, tree] (or [site, tree, core]): numbers of characters";
        if (n->is_string()) {
            if (n->as_string()->get() != "auto") k.refuse("tree_id", allowed);
            s.tree_id = "auto";
        } else {
            const toml::array* a = n->as_array();
            if (!a || a->size() < 2 || a->size() > 3) k.refuse("tree_id", allowed);
            std::vector<long long> v;
            for (const auto& e : *a) {
                const auto x = e.value<long long>();
                if (!e.is_integer() || !x || *x < 0 || *x > 8) k.refuse("tree_id", allowed + " from 0 to 8");
                v.push_back(*x);
            }
            if (v[0] + v[1] == 0) k.refuse("tree_id", "a tree of at least one character");
            s.tree_id = std::to_string(v[0]) + "," + std::to_string(v[1]);
        }
    }
    if (const toml::node* n = k.table().get("statistics_period")) {
        const toml::array* a = n->as_array();
        const bool two = a && a->size() == 2 && (*a)[0].is_integer() && (*a)[1].is_integer();
        if (!two) k.refuse("statistics_period", "[start, end], two years");
        const long long from = *(*a)[0].value<long long>(), to = *(*a)[1].value<long long>();
        if (from < kEarliestYear || to > kLatestYear || to <= from)
            k.refuse("statistics_period", "[start, end], two years from " + std::to_string(kEarliestYear) +
                                              " to " + std::to_string(kLatestYear) +
                                              ", the end after the start");
        s.period_first = static_cast<int>(from);
        s.period_last = static_cast<int>(to);
    }
    s.min_overlap = k.whole("min_overlap", 3, kMaxYears, kDefaultMinOverlap);
    const double eps = k.number("eps_threshold", kDefaultEpsThreshold);
    if (!(eps >= 0.01 && eps <= 0.999)) k.refuse("eps_threshold", "a number from 0.01 to 0.999");
    s.eps_threshold = static_cast<float>(eps);
    s.truncate_at = k.string("truncate_at", "", "\"eps\" or \"sss\"");
    if (k.has("truncate_at") && s.truncate_at != "eps" && s.truncate_at != "sss")
        k.refuse("truncate_at", "\"eps\" or \"sss\" (leave the key out for none)");
}

// The keys a [crossdating] table may hold.
const std::vector<std::string> kCrossdatingKeys{"enabled",           "segment_length",  "lag",
                                                "spline_wavelength", "max_shift",       "log",
                                                "critical_level",    "min_master_depth"};

// [crossdating]: whether the checks run, and their settings, checked together.
void read_crossdating_table(const Keys& k, RunPlan& plan) {
    const toml::node* n = k.table().get("crossdating");
    if (!n) return;
    const toml::table* t = n->as_table();
    if (!t) k.refuse("crossdating", "a [crossdating] table");
    const Keys x(*t, k.where() + "[crossdating] ");
    x.unknown(kCrossdatingKeys);
    CrossdatingSettings& c = plan.crossdating;
    CrossdatingOptions& o = c.options;
    c.enabled = x.boolean("enabled", true);
    o.segment_length = x.whole("segment_length", kMinSegmentLength, kMaxYears, o.segment_length);
    o.lag = x.whole("lag", 1, kMaxYears, o.lag);
    o.spline_wavelength = x.whole("spline_wavelength", 2, kMaxYears, o.spline_wavelength);
    o.max_shift = x.whole("max_shift", 1, kMaxYears, o.max_shift);
    o.log = x.boolean("log", o.log);
    o.critical_level = x.number("critical_level", o.critical_level);
    o.min_master_depth = x.whole("min_master_depth", 1, kMaxSeries, o.min_master_depth);
    if (const std::string why = o.check(); !why.empty()) throw RunFileError(x.where() + why);
}

void check_files(const Keys& k, const RunPlan& plan) {
    if (auto why = data_file_problem(plan.data))
        throw RunFileError(k.where() + "data = " + toml_string(plan.data) + ": " + *why);
    if (plan.pith.empty()) return;
    const std::string pith = resolve_pith(plan.pith, plan.data);
    std::error_code ec;
    if (!fs::is_regular_file(pith, ec))
        throw RunFileError(k.where() + "pith = " + toml_string(plan.pith) + ": the pith-offset file " + pith +
                           " does not exist or is not a regular file");
}

}  // namespace

std::string resolve_pith(const std::string& pattern, const std::string& data) {
    std::string dir, own;
    split_path(data, dir, own);
    // Each "{base}" of the pattern is replaced once: a base name that holds "{base}" itself is
    // not expanded again.
    const std::string base = own.substr(0, own.find('.'));
    std::string name = pattern;
    for (std::size_t at = 0; (at = name.find("{base}", at)) != std::string::npos; at += base.size())
        name.replace(at, 6, base);
    return fs::path(name).is_relative() ? dir + name : name;
}

bool run_file_device(std::string_view name) {
    return std::find(std::begin(kRunFileDevices), std::end(kRunFileDevices), name) !=
               std::end(kRunFileDevices) &&
           is_file_device(name);
}

RunPlan parse_run_file(const std::string& text, const std::string& name, const std::string& dir,
                       const RunFileRequest& request) {
    check_key_depth(text, name);
    toml::table table;
    try {
        table = toml::parse(text, name);
    } catch (const toml::parse_error& e) {
        throw RunFileError(name + ": line " + std::to_string(e.source().begin.line) + ", column " +
                           std::to_string(e.source().begin.column) + ": " + std::string(e.description()));
    }
    const Keys k(table, name + ": ");
    k.unknown(run_file_keys());
    RunPlan plan;
    read_data_keys(k, request, dir, plan);
    read_question_keys(k, plan, QuestionPlace::BeforeSelection);
    read_selection_keys(k, plan);
    read_curve_keys(k, plan);
    if (plan.rcs()) read_retry_tables(k, plan);
    read_chronology_keys(k, plan);
    read_statistics_keys(k, plan);
    read_crossdating_table(k, plan);
    check_options(k, plan, plan.first);
    if (!request.need_data) return plan;
    check_files(k, plan);
    if (!plan.pith.empty()) plan.pith = resolve_pith(plan.pith, plan.data);
    return plan;
}

RunPlan read_run_file(const RunFileRequest& request) {
    std::ifstream in(request.path, std::ios::binary);
    std::error_code ec;
    if (!in || fs::is_directory(request.path, ec))
        throw RunFileError(request.path + ": the run file cannot be read");
    std::stringstream text;
    text << in.rdbuf();
    std::string dir, own;
    split_path(request.path, dir, own);
    if (!dir.empty()) dir.pop_back();
    return parse_run_file(text.str(), request.path, dir, request);
}

}  // namespace kestrovan
