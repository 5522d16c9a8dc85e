#include "run/summary.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <memory>

#include "console/report.hpp"
#include "io/text_fields.hpp"
#include "run/crossdating_output.hpp"
#include "select/segment_stats.hpp"

namespace kestrovan {

namespace {

using nlohmann::ordered_json;

ordered_json value_json(const PlanValue& v) {
    struct Writer {
        ordered_json operator()(std::monostate) const { return nullptr; }
        ordered_json operator()(bool b) const { return b; }
        ordered_json operator()(long long i) const { return i; }
        ordered_json operator()(double d) const { return d; }
        ordered_json operator()(const std::string& s) const { return s; }
        ordered_json operator()(const std::vector<long long>& a) const { return a; }
    };
    return std::visit(Writer{}, v);
}

ordered_json plan_json(const RunPlan& plan) {
    ordered_json run = ordered_json::object();
    for (const PlanEntry& e : plan_entries(plan, false)) run[e.key] = value_json(e.value);
    ordered_json retries = ordered_json::array();
    for (const auto& retry : retry_entries(plan)) {
        ordered_json r = ordered_json::object();
        for (const PlanEntry& e : retry) r[e.key] = value_json(e.value);
        retries.push_back(r);
    }
    run["retry"] = retries;
    ordered_json crossdating = ordered_json::object();
    for (const PlanEntry& e : crossdating_entries(plan, false)) crossdating[e.key] = value_json(e.value);
    run["crossdating"] = crossdating;
    return run;
}

ordered_json figures_json(const std::optional<SeriesFigures>& f) {
    if (!f) return nullptr;
    return {{"series", f->series},
            {"first_year", f->first_year},
            {"last_year", f->last_year},
            {"span", f->span},
            {"mean_segment_length", f->mean_length},
            {"segment_length",
             {{"min", f->lengths[0]},
              {"q25", f->lengths[1]},
              {"median", f->lengths[2]},
              {"q75", f->lengths[3]},
              {"max", f->lengths[4]}}}};
}

ordered_json rbar_json(const std::optional<RbarSummary>& r) {
    if (!r || !r->defined) return nullptr;
    return {
        {"mean_rbar", decimal_double(static_cast<float>(r->mean_rbar))},
        {"first_year_eps_085", r->first_eps_year ? ordered_json(*r->first_eps_year) : ordered_json(nullptr)},
        {"eps_085_from", r->eps_085_from ? ordered_json(*r->eps_085_from) : ordered_json(nullptr)}};
}

// The summary with every text as valid UTF-8: names and messages may hold bytes of other
// encodings (a data file name, a Latin-1 title line), which JSON cannot carry as they are.
ordered_json valid_text(ordered_json j) {
    if (j.is_string())
        j = utf8_or_escaped(j.get_ref<const std::string&>());
    else if (j.is_structured())
        for (auto& e : j) e = valid_text(std::move(e));
    return j;
}

// The rings filled by interpolation: series, year and the value given (millimetres).
ordered_json filled_json(const std::vector<FilledRing>& filled) {
    ordered_json out = ordered_json::array();
    for (const FilledRing& f : filled)
        out.push_back({{"series", rtrim(f.id)}, {"year", f.year}, {"value", decimal_double(f.value)}});
    return out;
}

ordered_json site_json(const DataBankSite& site) {
    const auto text = [](const std::string& t) {
        return t.empty() ? ordered_json(nullptr) : ordered_json(t);
    };
    return {{"code", text(site.code)}, {"name", text(site.name)}, {"species", text(site.species)}};
}

ordered_json convergence_json(const std::vector<ConvergenceStats>& stats) {
    ordered_json out = ordered_json::array();
    for (std::size_t k = 0; k < stats.size(); ++k) {
        const ConvergenceStats& s = stats[k];
        out.push_back({{"iteration", k + 1},
                       {"unweighted_mean", decimal_double(s.uw_mean)},
                       {"unweighted_median", decimal_double(s.uw_median)},
                       {"weighted_mean", decimal_double(s.wt_mean)},
                       {"weighted_median", decimal_double(s.wt_median)},
                       {"years", s.years}});
    }
    return out;
}

}  // namespace

SeriesFigures figures_of(const SeriesTable& table) {
    SeriesFigures f;
    f.series = table.count();
    if (f.series == 0) return f;
    f.first_year = table.summary.first;
    f.last_year = table.summary.last;
    f.span = table.summary.last - table.summary.first + 1;
    double sum = 0.0;
    for (const YearSpan& y : table.years) sum += y.length;
    f.mean_length = sum / f.series;
    f.lengths = segment_length_stats(table).value;
    return f;
}

namespace {
ordered_json published_json(const std::optional<PublishedFigures>& p) {
    if (!p) return nullptr;
    return {{"attempt", p->attempt},
            {"constant", decimal_double(p->constant)},
            {"iteration", p->iteration},
            {"criterion", p->criterion.empty() ? ordered_json(nullptr) : ordered_json(p->criterion)},
            {"statistic",
             p->criterion.empty() ? ordered_json(nullptr) : ordered_json(decimal_double(p->statistic))},
            {"change", p->criterion.empty() ? ordered_json(nullptr)
                                            : ordered_json({{"mean", decimal_double(p->change_mean)},
                                                            {"max", decimal_double(p->change_max)}})},
            {"near_zero_years", p->near_zero_years}};
}
}  // namespace

namespace {
ordered_json optional_number(const std::optional<double>& v) {
    return v && std::isfinite(*v) ? ordered_json(decimal_double(static_cast<float>(*v)))
                                  : ordered_json(nullptr);
}

ordered_json chronology_statistics_json(const ChronologyStatistics& c) {
    return {{"n_trees", c.n_trees},
            {"n_cores", c.n_cores},
            {"n_pairs", c.n_pairs},
            {"mean_overlap", decimal_double(static_cast<float>(c.mean_overlap))},
            {"rbar_tot", optional_number(c.rbar_tot)},
            {"rbar_wt", optional_number(c.rbar_wt)},
            {"rbar_bt", optional_number(c.rbar_bt)},
            {"c_eff", optional_number(c.c_eff)},
            {"rbar_eff", optional_number(c.rbar_eff)},
            {"eps", optional_number(c.eps)},
            {"snr", optional_number(c.snr)}};
}

ordered_json index_statistics_json(const IndexStatistics& s) {
    ordered_json j = chronology_statistics_json(s.all);
    j["eps_085_from"] = s.eps_085_from ? ordered_json(*s.eps_085_from) : ordered_json(nullptr);
    j["tree_eps_085_from"] = s.tree_eps_085_from ? ordered_json(*s.tree_eps_085_from) : ordered_json(nullptr);
    j["eps_threshold"] = decimal_double(s.eps_threshold);
    j["eps_from"] = s.eps_from ? ordered_json(*s.eps_from) : ordered_json(nullptr);
    j["sss_from"] = s.sss_from ? ordered_json(*s.sss_from) : ordered_json(nullptr);
    j["period"] = s.period ? chronology_statistics_json(*s.period) : ordered_json(nullptr);
    return j;
}

ordered_json statistics_json(const std::optional<RunStatistics>& s) {
    if (!s) return nullptr;
    return {{"trees", s->tree_id.empty() ? ordered_json("every series a tree") : ordered_json(s->tree_id)},
            {"auto_trees", s->auto_trees > 0 ? ordered_json(s->auto_trees) : ordered_json(nullptr)},
            {"standard", index_statistics_json(s->standard)},
            {"signal_free", index_statistics_json(s->signal_free)}};
}
}  // namespace

std::string summary_json(const RunSummary& s, const OutputFiles& files) {
    ordered_json files_written = ordered_json::array();
    files_written.push_back(files.report_name());
    for (const std::string& f : files.files_written())
        if (f != files.summary_name()) files_written.push_back(f);
    ordered_json j = {
        {"program", "Kestrovan"},
        {"version", kVersion},
        {"run", plan_json(s.plan)},
        {"data_file", {{"name", files.data_name}, {"sha256", files.data_sha256}}},
        {"site", site_json(s.site)},
        {"series_as_read", figures_json(s.as_read)},
        {"filled_rings", filled_json(s.filled_rings)},
        {"series_selected", figures_json(s.selected)},
        {"outcome", s.outcome},
        {"message", s.message.empty() ? ordered_json(nullptr) : ordered_json(s.message)},
        {"attempts", s.attempts},
        {"constant_counter", s.constant_counter},
        {"constant", decimal_double(s.constant)},
        {"iterations", s.iterations},
        {"published", published_json(s.published)},
        {"convergence", convergence_json(s.convergence)},
        {"rbar_standard", rbar_json(s.standard_rbar)},
        {"rbar_signal_free", rbar_json(s.signal_free_rbar)},
        {"statistics", statistics_json(s.statistics)},
        {"crossdating", s.crossdating ? crossdating_json(*s.crossdating) : ordered_json(nullptr)},
        {"files", files_written},
    };
    return valid_text(j).dump(2) + "\n";
}

std::string stopped_json(const std::string& message) {
    const ordered_json j = {
        {"program", "Kestrovan"}, {"version", kVersion}, {"outcome", "stopped"}, {"message", message}};
    return valid_text(j).dump(2) + "\n";
}

void write_summary(const RunSummary& summary, const OutputFiles& files) {
    const std::string name = files.summary_name();
    files.refuse_if_data_file(name);
    StagedOutputFile out(name);
    out.stream() << summary_json(summary, files);
    out.commit();
}

}  // namespace kestrovan
