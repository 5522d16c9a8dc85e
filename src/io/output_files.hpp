#pragma once
// The output files of a run (not to be confused with a run file, run/run_file.hpp): the data
// file name as typed, the names derived from it, the open report and the three header lines of
// the data file.
#include <array>
#include <string>
#include <vector>

#include "console/report.hpp"

namespace kestrovan {

inline constexpr const char* kVersion = "45_v2b";  // printed in a 7-character field
inline constexpr const char* kVersionField = "45_v2b ";

class Console;

// An exclusive lock on a run's output names: the file <base>.lock beside the outputs, held
// (flock) from the start of writing to the end of the run, then removed. Two runs that would
// write the same files cannot mix them; a run killed outright leaves the file, but not the lock.
class OutputLock {
public:
    OutputLock() = default;
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
    ~OutputLock() { release(); }

    // Takes the lock at `path`; false when another process holds it. Throws ProgramStop
    // (abnormal) naming the file when it cannot be created.
    bool acquire(const std::string& path);
    void release();

private:
    int fd_ = -1;
    std::string path_;
};

struct OutputFiles {
    std::string data_name;                // as typed, at most 50 characters, trailing blanks removed
    std::string data_sha256;              // of the data file as the run read it ("" before it is read)
    Report report;                        // open from run start to the end of the program
    std::array<std::string, 3> header{};  // three 88-character header lines of the data file
    std::string saved_selection;          // the saved selected set this run wrote ("" = none)
    std::string output_dir;               // where the output files go ("" = beside the data file)
    bool finished = false;                // the run reached its normal termination
    OutputLock lock;                      // on lock_name(), from begin_writing to the end of the run

    // Output names are built from the data file's own name (not its directory part), and keep
    // the directory as prefix so that output files go beside the data file (or into output_dir
    // when it is set):
    //   base_name():      directory + own name up to its first full stop ("../d/site.rwl" -> "../d/site")
    //   spectra_base():   directory + own name up to its first blank or full stop, at most 40 characters
    //   report_name():    base_name() + "_out_v45_v2b.txt", blanks of the own name closed up
    //   chronology_id():  first 6 characters of the own name, blank padded, followed by two blanks
    // The report and spectra rules would let two data files share a name ("g p.rwl" and "gp.rwl"
    // both give gp_out_v45_v2b.txt; "g p.rwl" and "g.rwl" both g_spectra.txt; two names that
    // agree in their first 40 characters the same spectra). Where the own name before its first
    // full stop holds a blank, or is longer than 40 characters, both use base_name() instead.
    std::string base_name() const;
    std::string spectra_base() const;
    std::string report_name() const;
    std::string chronology_id() const;
    // Gives every blank header line (a data file read by a reader without header lines) the
    // customary layout that readers of ring-width files expect: site code in columns 1-6, the
    // line number in column 9, text after it; 88 characters.
    void complete_header();
    //   summary_name():   base_name() + "_summary.json"
    std::string summary_name() const;
    //   lock_name():      base_name() + ".lock"
    std::string lock_name() const;
    // True where the report and spectra take the whole base name (see above).
    bool names_kept_apart() const;

    // Every file name with a fixed suffix that a run on this data file may write: the report,
    // the series files of both passes (every RAW/PTR and Ratios/Resids form), the Regional
    // curves, the three RBAR tables, the chronology tables, the .crn file of every chronology, the
    // table of the series, the spectra and the run summary; and the staged
    // name of each of them (see StagedOutputFile), which a run that was killed may have left.
    std::vector<std::string> output_names() const;

    // Called once the data file has been read, before anything else is written. Creates
    // output_dir when it is set and missing (a fatal stop when it cannot be). Takes the lock
    // on the output names (a fatal stop, nothing written, while another run holds it). Refuses (a
    // fatal stop naming both) an output name that is the data file itself under another name (a
    // link); removes the files an earlier run left under output_names(), so that the files on
    // disk never mix two runs; creates the held report; and says so when names_kept_apart().
    void begin_writing(Console& console);

    // Stops the run (fatal, naming both) when `path` is the data file under another name.
    void refuse_if_data_file(const std::string& path) const;

    // The files of output_names() that exist, but the report, and the saved selection: after
    // begin_writing, exactly the files this run has written beside its report.
    std::vector<std::string> files_written() const;
};

// Splits a path into its directory part (with the final '/') and the file's own name.
void split_path(const std::string& path, std::string& dir, std::string& own);

}  // namespace kestrovan
