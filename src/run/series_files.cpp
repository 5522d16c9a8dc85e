#include "run/series_files.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "io/output_table.hpp"
#include "console/report.hpp"
#include "console/stop.hpp"
#include "engine/rcurve.hpp"
#include "model/format.hpp"

namespace kestrovan {

SeriesFileNames series_file_names(const std::string& base, EnginePass pass, IndexMethod index_method,
                                  bool power_transformed) {
    const SeriesFileSuffixes s = series_file_suffixes(pass == EnginePass::SignalFree,
                                                      index_method == IndexMethod::Residuals, power_transformed);
    return {base + s.data, base + s.curves, base + s.indices};
}

SeriesFiles::~SeriesFiles() {
    try {
        discard();
    } catch (...) {
        // A file that cannot be closed while the engine unwinds: nothing more to do.
    }
}

void SeriesFiles::open(const SeriesFileNames& names, bool with_indices,
                       const std::array<std::string, 3>& header, EnginePass pass, bool staged) {
    discard();
    close();
    pass_ = pass;
    with_indices_ = with_indices;
    staged_ = true;
    until_commit_ = staged;
    for (File* f : {&data_, &curves_, &indices_}) f->path.clear();
    auto start = [&](File& f, const std::string& path) {
        f.final_path = path;
        f.path = path + kStagedSuffix;
        f.state = TucsonWriteState{};
        f.state.file_name = path;
        f.stream = create_output_file(f.path);
        for (const std::string& line : header) f.stream << line << '\n';
    };
    start(data_, names.data);
    start(curves_, names.curves);
    if (with_indices_) start(indices_, names.indices);
    open_ = true;
}

void SeriesFiles::write(const std::string& id, int first_year, std::span<const float> measurements,
                        std::span<const float> curve, std::span<const float> indices, float constant,
                        Console& console) {
    if (!open_) return;
    const bool first = pass_ == EnginePass::FirstPass;
    auto shifted = [&](std::span<const float> v) -> std::span<const float> {
        shifted_.assign(v.begin(), v.end());
        for (float& x : shifted_) x -= constant;
        return shifted_;
    };
    trrw(data_.stream, "mw",
         {.id = id,
          .first_year = first_year,
          .values = shifted(measurements),
          .label = first ? "stdraw" : "ssfraw"},
         data_.state, console);
    trrw(curves_.stream, "mw",
         {.id = id, .first_year = first_year, .values = shifted(curve), .label = first ? "stdcrv" : "ssfcrv"},
         curves_.state, console);
    if (with_indices_)
        trrw(indices_.stream, "mw",
             {.id = id, .first_year = first_year, .values = indices, .label = first ? "stdind" : "ssfind"},
             indices_.state, console);
}

void SeriesFiles::close() {
    if (!open_) return;
    open_ = false;
    for (File* f : {&data_, &curves_, &indices_}) {
        if (!f->stream.is_open()) continue;
        f->stream.flush();
        check_written(f->stream, f->final_path);
        f->stream.close();  // a full disk may show only here, with the last buffer
        if (!f->stream)
            throw ProgramStop(StopKind::Abnormal, "Cannot write to the output file " + f->final_path);
    }
    if (!until_commit_) commit();
}

void SeriesFiles::commit() {
    if (open_) {
        until_commit_ = false;  // close() renames them
        close();
        return;
    }
    if (!staged_) return;
    staged_ = false;
    for (File* f : {&data_, &curves_, &indices_}) {
        if (f->path.empty()) continue;
        std::error_code ec;
        std::filesystem::rename(f->path, f->final_path, ec);
        if (ec)
            throw ProgramStop(StopKind::Abnormal,
                              "Cannot replace the output file " + f->final_path + ": " + ec.message());
        f->path.clear();
    }
}

void SeriesFiles::discard() {
    if (!staged_) return;
    staged_ = false;
    for (File* f : {&data_, &curves_, &indices_}) {
        if (f->stream.is_open()) f->stream.close();
        if (f->path.empty()) continue;
        std::error_code ec;
        std::filesystem::remove(f->path, ec);
        f->path.clear();
    }
    open_ = false;
}

void write_rcs_curves(const std::string& path, const RegionalCurveHistory& history) {
    StagedOutputFile staged(path);
    std::ofstream& file = staged.stream();
    std::string head = fixed_width("Bio Year ", 10);
    for (int j = 0; j < history.size(); ++j) head += fixed_width("   RC     fRC ", 15) + " ";
    file << head << '\n';

    const int ages = history.ages();
    std::string line;
    for (int a = 1; a <= ages; ++a) {
        line.clear();
        int on_line = 0;
        auto put = [&](float v) {
            if (on_line == 400) {
                file << line << '\n';
                line.clear();
                on_line = 0;
            }
            line += fmt_f(v, 8, 2);
            ++on_line;
        };
        put(static_cast<float>(a));
        for (int j = 0; j < history.size(); ++j) {
            const RegionalCurve& c = history[j];
            const bool in = a <= c.ages;
            put(in ? c.raw[static_cast<std::size_t>(a - 1)] : kMissing);
            put(in ? c.smoothed[static_cast<std::size_t>(a - 1)] : kMissing);
        }
        file << line << '\n';
    }
    staged.commit();
}

}  // namespace kestrovan
