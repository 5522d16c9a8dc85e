#pragma once
// The engine's series files: measurements, curves and indices of every series, written in
// Tucson decade format once for the first pass and once for the published signal-free
// iterate, and the Regional-curve history file "_RCScurves.txt". The engine hands the rows over
// through its observer (engine/engine_observer.hpp); the run's observer writes them here.
#include <array>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "engine/engine_observer.hpp"
#include "io/output_files.hpp"
#include "io/tucson.hpp"
#include "model/methods.hpp"

namespace kestrovan {

class Console;

// The three file names of a pass: base + "_STD_" / "_SSF_" + "RAW" or "PTR" + "_Data.txt",
// "_Curves.txt" and "_Ratios.txt" / "_Resids.txt". Ratio indices always carry RAW and the Ratios
// file; residual indices carry PTR when the series were power transformed, RAW otherwise.
struct SeriesFileNames {
    std::string data, curves, indices;
};
SeriesFileNames series_file_names(const std::string& base, EnginePass pass, IndexMethod index_method,
                                  bool power_transformed);

// The files of one pass, created (or replaced) by open and closed by close. Each starts with
// the three header lines of the data file (or of the customary layout where it has none), as
// readers of ring-width files expect.
//
// Every file is written beside its final name, under the name + kStagedSuffix, and takes the final
// name only once every series is in: on close, or, for files opened `staged` (the signal-free
// iteration, published only once accepted), on commit. A run stopped or failing while they are
// written leaves no half-written file under the final names; discard (or destroying the object
// before then) removes the staged ones.

class SeriesFiles {
public:
    SeriesFiles() = default;
    SeriesFiles(const SeriesFiles&) = delete;
    SeriesFiles& operator=(const SeriesFiles&) = delete;
    ~SeriesFiles();

    // with_indices false: the index file is not written (first pass without detrending).
    void open(const SeriesFileNames& names, bool with_indices, const std::array<std::string, 3>& header,
              EnginePass pass, bool staged = false);
    // Appends one series: measurements and curve with `constant` subtracted (back to the units of
    // the data file), indices as they are.
    void write(const std::string& id, int first_year, std::span<const float> measurements,
               std::span<const float> curve, std::span<const float> indices, float constant,
               Console& console);
    // Closes the files and, unless they were opened `staged`, gives them their final names;
    // throws ProgramStop naming a file that could not be written or renamed.
    void close();
    bool is_open() const { return open_; }
    // Closes the files and gives them their final names (replacing the files there); throws
    // ProgramStop naming a file that could not be renamed.
    void commit();
    // Closes the files not yet renamed and removes them; the files under the final names stay as
    // they are.
    void discard();

private:
    struct File {
        std::string path;        // where the stream writes
        std::string final_path;  // the name the file takes on commit (staged files)
        std::ofstream stream;
        TucsonWriteState state;
    };
    File data_, curves_, indices_;
    bool with_indices_ = false;
    bool open_ = false;
    bool staged_ = false;        // written under staged names not yet committed or discarded
    bool until_commit_ = false;  // the final names wait for commit (not close)
    EnginePass pass_ = EnginePass::FirstPass;
    std::vector<float> shifted_;
};

// "_RCScurves.txt": header "Bio Year  " then "   RC     fRC  " and a blank per stored curve;
// one line per age 1 .. ages: the age and, per curve, its raw and smoothed value (f8.2 each,
// 400 values per line), -999.00 where a curve does not reach the age.
void write_rcs_curves(const std::string& path, const RegionalCurveHistory& history);

}  // namespace kestrovan
