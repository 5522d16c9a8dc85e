#include "run/final_output.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <span>
#include <sstream>

#include "io/output_table.hpp"
#include "console/report.hpp"
#include "diag/spectrum.hpp"
#include "io/crn_writer.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

namespace {

// Chronology value and standard error columns of the table. A year no series covers has no
// standard error: it is written as −9.999 rather than a division by zero.
constexpr float kNoStandardError = -9.999f;

std::string table_header(bool option0, bool stabilized) {
    std::string h = option0 ? "  Year  SSize  RawCrn  AdjCrn  RawSig  AdjSig  RawSee  AdjSee"
                            : "  Year  SSize  StdCrn  SsfCrn  StdSig  SsfSig  StdSee  SsfSee";
    if (stabilized) h += option0 ? "  RawStb  AdjStb" : "  StdStb  SsfStb";
    return h;
}

float value_or_zero(const std::vector<float>& v, std::size_t k) {
    return k < v.size() && std::isfinite(v[k]) && v[k] != kMissing ? v[k] : 0.0f;
}

struct SpectralInput {
    std::vector<float> first, second;
};

// The chronology table as CSV for spreadsheets and scripts: the columns of the text table, then
// the residual chronologies and their autoregressive-standard forms (named as in _crns_res.txt),
// with six decimals, and empty cells where a value is undefined.
std::string csv_header(bool option0, bool stabilized) {
    std::istringstream names(table_header(option0, stabilized));
    std::string out, name;
    while (names >> name) out += (out.empty() ? "" : ",") + name;
    return out + (option0 ? ",RawRes,AdjRes,RawArm,AdjArm,RawEps,AdjEps,RawSss,AdjSss"
                          : ",StdRes,SsfRes,StdArm,SsfArm,StdEps,SsfEps,StdSss,SsfSss");
}


std::string csv_number(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(v));
    return buf;
}

// A cell of a per-year figure: empty where it is undefined.
std::string csv_figure(const std::vector<float>& v, std::size_t k) {
    if (k >= v.size() || v[k] == kMissing || !std::isfinite(v[k])) return {};
    return csv_number(v[k]);
}

// A residual cell: empty where the year has no residual (before the series' models have values).
std::string csv_residual(const std::vector<float>& v, const std::vector<int>& count, std::size_t k) {
    if (k >= v.size() || k >= count.size() || count[k] <= 0 || v[k] == kMissing || !std::isfinite(v[k]))
        return {};
    return csv_number(v[k]);
}

SpectralInput write_column_table(const std::string& path, const std::string& csv_path, bool option0,
                                 bool stabilized, const FinalChronologies& c) {
    StagedOutputFile staged(path), staged_csv(csv_path);
    std::ofstream& file = staged.stream();
    std::ofstream& csv = staged_csv.stream();
    file << table_header(option0, stabilized) << '\n';
    csv << csv_header(option0, stabilized) << '\n';
    SpectralInput spectral;
    const std::size_t span = c.sample_size.size();
    for (std::size_t k = 0; k < span; ++k) {
        const int n = c.sample_size[k];
        const bool covered = n > 0;
        const float crn1 = covered ? value_or_zero(c.first, k) : 0.0f;
        const float crn2 = covered ? value_or_zero(c.second, k) : 0.0f;
        const float sd1 = covered ? value_or_zero(c.first_sd, k) : 0.0f;
        const float sd2 = covered ? value_or_zero(c.second_sd, k) : 0.0f;
        const float root = covered ? std::sqrt(static_cast<float>(n)) : 0.0f;
        file << fmt_i(c.first_year + static_cast<int>(k), 6) << fmt_i(n, 6) << ' ' << fmt_f(crn1, 8, 3)
             << fmt_f(crn2, 8, 3) << fmt_f(sd1, 8, 3) << fmt_f(sd2, 8, 3)
             << fmt_f(covered ? sd1 / root : kNoStandardError, 8, 3)
             << fmt_f(covered ? sd2 / root : kNoStandardError, 8, 3);
        float stb1 = 0.0f, stb2 = 0.0f;
        if (stabilized) {
            stb1 = covered ? value_or_zero(c.first_stb, k) : 0.0f;
            stb2 = covered ? value_or_zero(c.second_stb, k) : 0.0f;
            file << fmt_f(stb1, 8, 3) << fmt_f(stb2, 8, 3);
        }
        file << '\n';
        csv << c.first_year + static_cast<int>(k) << ',' << n;
        if (covered) {
            csv << ',' << csv_number(crn1) << ',' << csv_number(crn2);
            // The spread of one series' index is undefined (its standard deviation has no
            // degree of freedom), and so is its standard error.
            if (n > 1)
                for (float v : {sd1, sd2, sd1 / root, sd2 / root}) csv << ',' << csv_number(v);
            else
                csv << ",,,,";
            if (stabilized) csv << ',' << csv_number(stb1) << ',' << csv_number(stb2);
        } else {
            csv << (stabilized ? ",,,,,,,," : ",,,,,,");
        }
        csv << ',' << csv_residual(c.first_res, c.first_res_size, k) << ','
            << csv_residual(c.second_res, c.second_res_size, k) << ','
            << csv_residual(c.first_arm, c.first_res_size, k) << ','
            << csv_residual(c.second_arm, c.second_res_size, k);
        for (const std::vector<float>* v : {&c.first_eps, &c.second_eps, &c.first_sss, &c.second_sss})
            csv << ',' << csv_figure(*v, k);
        csv << '\n';
        if (n >= 5) {
            spectral.first.push_back(stabilized ? stb1 : crn1);
            spectral.second.push_back(stabilized ? stb2 : crn2);
        }
    }
    staged.commit();
    staged_csv.commit();
    return spectral;
}

// The six-letter codes of the chronologies (0 standard, 1 signal-free, 2 and 3 their stabilized
// forms); without detrending (curve option 0) raw-data and mean-adjusted.
std::string chronology_code(bool option0, int which) {
    constexpr const char* codes[2][4] = {{"stdcrn", "ssfcrn", "stdstb", "ssfstb"},
                                         {"rawcrn", "adjcrn", "rawstb", "adjstb"}};
    return codes[option0 ? 1 : 0][which];
}

void write_tucson_chronologies(const std::string& path, const OutputFiles& files, bool option0,
                               bool stabilized, const FinalChronologies& c, Console& console) {
    std::vector<const std::vector<float>*> series{&c.first, &c.second};
    std::vector<std::string> codes{chronology_code(option0, 0), chronology_code(option0, 1)};
    if (stabilized) {
        series.push_back(&c.first_stb);
        series.push_back(&c.second_stb);
        codes.push_back(chronology_code(option0, 2));
        codes.push_back(chronology_code(option0, 3));
    }
    write_tucson_index_file(path, files, c.first_year, series, codes,
                            std::vector<std::span<const int>>(series.size(), c.sample_size), console);
}

// The .crn files of the chronologies of _crns_tuc.txt.
void write_chronology_crn_files(Console& console, OutputFiles& files, bool option0, bool stabilized,
                                const FinalChronologies& c) {
    const char* words[4] = {
        option0 ? "raw-data chronology" : "standard chronology",
        option0 ? "mean-adjusted chronology" : "signal-free chronology",
        option0 ? "stabilized raw-data chronology" : "stabilized standard chronology",
        option0 ? "stabilized mean-adjusted chronology" : "stabilized signal-free chronology"};
    const std::vector<float>* values[4] = {&c.first, &c.second, &c.first_stb, &c.second_stb};
    std::vector<CrnEntry> entries;
    for (int s = 0; s < (stabilized ? 4 : 2); ++s)
        entries.push_back({chronology_code(option0, s), words[s], *values[s], c.sample_size, s % 2 == 1});
    write_crn_files(console, files, c.first_year, entries, c.cut);
}

}  // namespace

void write_crn_files(Console& console, OutputFiles& files, int first_year,
                     const std::vector<CrnEntry>& entries, const CrnCut& cut) {
    std::string dir, own;
    split_path(rtrim(files.data_name), dir, own);
    const std::string site = crn_site_code(files.header, own);
    std::string name = data_bank_header_text(files.header, 0);
    if (name.empty()) name = own;
    const std::string info = data_bank_header_text(files.header, 1);
    const auto say = [&](const std::string& text) {
        console.line(text, 2);
        files.report.line(upper_case(text), 2);
    };
    // One file: `label` names the chronology in its Data record.
    const auto write = [&](const std::string& path, const std::string& label, const CrnEntry& e,
                           std::span<const int> depth) {
        std::string file_dir, file_own;
        split_path(path, file_dir, file_own);
        CrnChronology c{
            .site = site, .text = {name, info, ""}, .first_year = first_year, .values = e.values, .depth = depth};
        int first = 0, last = 0;
        if (crn_value_years(c, first, last))
            c.text[2] = label + ", " + e.description + ", " + std::to_string(first) + " to " + std::to_string(last);
        const CrnWritten w = write_crn_file(path, c);
        if (!w.written) say("The chronology file " + file_own + " was not written: " + w.refusal);
        if (w.capped_depths > 0)
            say(file_own + ": sample depth above 999 in " + std::to_string(w.capped_depths) +
                " years, written as 999");
        if (w.clipped_values > 0)
            say(file_own + ": " + std::to_string(w.clipped_values) +
                " indices outside -0.999 to 9.989, written as the nearest of these");
    };
    const std::string threshold = trim(fmt_f(cut.threshold, 6, 2));
    for (const CrnEntry& e : entries) {
        write(files.base_name() + crn_suffix(e.code), e.code, e, e.depth);
        if (cut.tag.empty()) continue;
        const std::string path = files.base_name() + cut_crn_suffix(e.code, cut.tag);
        const std::optional<int> from = e.second ? cut.second_from : cut.first_from;
        if (!from) {
            std::string file_dir, file_own;
            split_path(path, file_dir, file_own);
            say("The chronology file " + file_own + " was not written: its " + cut.statistic +
                " never stays at or above " + threshold);
            continue;
        }
        // The years before the cut lose their depth, so that the file starts at the cut.
        std::vector<int> depth(e.depth.begin(), e.depth.end());
        const long long before = static_cast<long long>(*from) - first_year;
        for (long long k = 0; k < before && k < static_cast<long long>(depth.size()); ++k)
            depth[static_cast<std::size_t>(k)] = 0;
        write(path, e.code + "_" + cut.tag, e, depth);
    }
}

void write_tucson_index_file(const std::string& path, const OutputFiles& files, int first_year,
                             const std::vector<const std::vector<float>*>& series,
                             const std::vector<std::string>& codes,
                             const std::vector<std::span<const int>>& sample_sizes, Console& console) {
    StagedOutputFile staged(path);
    std::ofstream& file = staged.stream();
    TucsonWriteState state;
    state.file_name = path;
    const std::string id = files.chronology_id();
    for (std::size_t s = 0; s < series.size(); ++s) {
        const std::span<const int> n = sample_sizes[s];
        std::size_t from = 0, to = n.size();
        while (from < to && n[from] <= 0) ++from;
        while (to > from && n[to - 1] <= 0) --to;
        if (from == to) continue;
        std::array<std::string, 3> header = files.header;
        for (auto& line : header) line = fixed_width(line, 88);
        header[1].replace(82, 6, codes[s]);
        header[2].replace(82, 6, codes[s]);
        for (const auto& line : header) file << line << '\n';
        // A year of sample size 0 is written as index 0 with count 0: the fill pair (9990, 0)
        // would end the chronology when the file is read back.
        std::vector<float> values(to - from, 0.0f);
        for (std::size_t k = from; k < to; ++k)
            if (n[k] > 0) values[k - from] = value_or_zero(*series[s], k);
        trrw(file, "iw",
             {.id = id,
              .first_year = first_year + static_cast<int>(from),
              .values = values,
              .samples = n.subspan(from, to - from),
              .label = codes[s]},
             state, console);
    }
    staged.commit();
}

void write_final_output(Console& console, OutputFiles& files, const RunOptions& params,
                        const FinalChronologies& c, Plotter& plotter) {
    const bool option0 = params.curve_option == 0;
    const bool stabilized = params.rbar_window >= 1;
    const std::string base = files.base_name();

    SpectralInput spectral =
        write_column_table(base + output_suffix(OutputFile::ColumnTable), base + output_suffix(OutputFile::ChronologyCsv),
                           option0, stabilized, c);
    write_tucson_chronologies(base + output_suffix(OutputFile::TucsonChronologies), files, option0, stabilized, c,
                              console);
    write_chronology_crn_files(console, files, option0, stabilized, c);

    const int n = static_cast<int>(spectral.first.size());
    const int m = spectrum_max_lag(n);
    Spectrum s1 = ftfreq(spectral.first, m);
    Spectrum s2 = ftfreq(spectral.second, m);
    const std::string spectra_path = files.spectra_base() + output_suffix(OutputFile::Spectra);
    StagedOutputFile staged(spectra_path);
    std::ofstream& file = staged.stream();
    // The frequency and power columns first, then each chronology's red-noise background and its
    // 95 % level.
    file
        << (option0
                ? " FREQUENCY   POWER_RAW_CRN   POWER_ADJ_CRN   RED_NOISE_RAW       RED95_RAW   RED_NOISE_ADJ"
                  "       RED95_ADJ"
                : " FREQUENCY   POWER_STD_CRN   POWER_SSF_CRN   RED_NOISE_STD       RED95_STD   RED_NOISE_SSF"
                  "       RED95_SSF")
        << '\n';
    if (s1.error != 0 || s2.error != 0) {
        // Too few years with five or more series for a spectrum: the file keeps its header only.
        const std::string msg = "Too few chronology values (" + std::to_string(n) +
                                " years with 5 or more series) for the power spectra: none computed";
        console.blank_line();
        console.line(msg, 2);
        files.report.blank_line();
        files.report.line("TOO FEW CHRONOLOGY VALUES (" + std::to_string(n) +
                              " YEARS WITH 5 OR MORE SERIES) FOR THE POWER SPECTRA: NONE COMPUTED",
                          2);
    } else {
        const RedNoise r1 = red_noise(s1, n), r2 = red_noise(s2, n);
        const int rows = m + 1;
        int low = 0;
        while (low < rows && s1.frequencies[static_cast<std::size_t>(low)] <= 0.1f) ++low;
        SpectrumPlot plot{.frequency = s1.frequencies,
                          .power2 = s1.estimates,
                          .power3 = s2.estimates,
                          .red2 = r1.background,
                          .red2_95 = r1.level95,
                          .red3 = r2.background,
                          .red3_95 = r2.level95,
                          .n = rows,
                          .legend2 = option0 ? "RAW Power Spectrum" : "STD Power Spectrum",
                          .legend3 = option0 ? "ADJ Power Spectrum" : "SSF Power Spectrum"};
        plotter.plt6(plot);
        plot.n = low;
        plot.legend2 = option0 ? "RAW >10Yr Spectrum" : "STD >10Yr Spectrum";
        plot.legend3 = option0 ? "ADJ >10Yr Spectrum" : "SSF >10Yr Spectrum";
        plotter.plt6(plot);
        for (int k = 0; k < rows; ++k) {
            const auto i = static_cast<std::size_t>(k);
            file << fmt_f(s1.frequencies[i], 9, 5) << fmt_f(s1.estimates[i], 14, 5)
                 << fmt_f(s2.estimates[i], 16, 5) << fmt_f(r1.background[i], 16, 5)
                 << fmt_f(r1.level95[i], 16, 5) << fmt_f(r2.background[i], 16, 5)
                 << fmt_f(r2.level95[i], 16, 5) << '\n';
        }
    }
    staged.commit();
}

void normal_termination(Console& console) {
    console.blank_line();
    console.line(std::string("Normal termination of program Kestrovan_Version ") + kVersionField);
    console.blank_line();
    console.pause_inline("Hit RETURN to Quit");
    throw ProgramStop(StopKind::Normal);
}

}  // namespace kestrovan
