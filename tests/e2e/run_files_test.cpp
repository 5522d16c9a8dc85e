// The files of a run on disk: what a stopped run leaves, outputs that would overwrite the data
// file, a report that keeps what it holds when the disk fills, and two runs of one site.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.hpp"

using namespace kestrovan::testing;
namespace fs = std::filesystem;

namespace {

// A per-series run of gp.rwl (horizontal lines) with the spline stabilization, whose acceptance
// question comes after the first-pass files and before any signal-free file.
const char* kStabilizedRun = "gp.rwl\n1\nR\n1\n6\n\n\n1\n\n\n";
const char* kAccepted = "y\ny\n\n";

}  // namespace

TEST(OutputFiles, AStoppedRunNeverLeavesAnEarlierRunsFilesBesideItsOwn) {
    TempDir dir;
    copy_example_data("gp.rwl");
    ASSERT_EQ(run_kestrovan(std::string(kStabilizedRun) + kAccepted), 0) << read_file("out.txt");
    ASSERT_TRUE(fs::exists("gp_SSF_RAW_Ratios.txt"));
    const std::string complete_report = read_file("gp_out_v45_v2b.txt");

    // Stopping at the loading questions writes nothing: the earlier report stays as it was.
    EXPECT_EQ(run_kestrovan("gp.rwl\n"), 2);
    EXPECT_EQ(read_file("gp_out_v45_v2b.txt"), complete_report);

    // Input ending inside the engine: the earlier signal-free, chronology and spectrum files are
    // gone, and the report says how the run stopped and what it wrote.
    EXPECT_EQ(run_kestrovan(kStabilizedRun), 2);
    for (const char* gone : {"gp_SSF_RAW_Ratios.txt", "gp_Ssf_RBAR.txt", "gp_crns_col.txt", "gp_spectra.txt"})
        EXPECT_FALSE(fs::exists(gone)) << gone;
    EXPECT_TRUE(fs::exists("gp_STD_RAW_Ratios.txt"));
    const std::string report = read_file("gp_out_v45_v2b.txt");
    const auto end = report.find("THE RUN STOPPED: THE INPUT ENDED AT A QUESTION.");
    ASSERT_NE(end, std::string::npos) << report;
    EXPECT_NE(report.find("\n   gp_STD_RAW_Ratios.txt\n", end), std::string::npos) << report.substr(end);
    EXPECT_EQ(report.find("gp_SSF", end), std::string::npos);
}

TEST(OutputFiles, AnOutputThatIsALinkToTheDataFileIsRefused) {
    TempDir dir;
    copy_example_data("gp.rwl");
    const std::string data = read_file("gp.rwl");
    fs::create_symlink("gp.rwl", "gp_crns_col.txt");
    EXPECT_EQ(run_kestrovan(std::string(kStabilizedRun) + kAccepted), 1);
    EXPECT_EQ(read_file("gp.rwl"), data);
    EXPECT_NE(read_file("out.txt").find(
                  "The output file gp_crns_col.txt is the data file gp.rwl under another name"),
              std::string::npos);
    EXPECT_FALSE(fs::exists("gp_STD_RAW_Data.txt"));

    // The saved selection too.
    fs::remove("gp_crns_col.txt");
    fs::create_symlink("gp.rwl", "gp_mnsl=100.txt");
    EXPECT_EQ(run_kestrovan("gp.rwl\n1\nR\n2\n100\n"), 1);
    EXPECT_EQ(read_file("gp.rwl"), data);
    EXPECT_NE(read_file("out.txt").find("The output file gp_mnsl=100.txt is the data file"),
              std::string::npos);
}

TEST(OutputFiles, AFullDiskKeepsTheReportWrittenBeforeIt) {
    TempDir dir;
    copy_example_data("gp.rwl");
    // Files may grow to 64 KiB: the first-pass series files cannot be written.
    const int status =
        run_kestrovan(std::string(kStabilizedRun) + kAccepted, "--no-plots", "ulimit -f 64; trap \"\" XFSZ");
    EXPECT_EQ(status, 1);
    EXPECT_NE(read_file("out.txt").find("Cannot write to the output file"), std::string::npos)
        << read_file("out.txt");
    const std::string report = read_file("gp_out_v45_v2b.txt");
    EXPECT_NE(report.find("TOTAL SERIES READ IN:"), std::string::npos);
    EXPECT_NE(report.find("THE RUN STOPPED ABNORMALLY: Cannot write to the output file"), std::string::npos)
        << report;
}

namespace {

// A small tmpfs mounted for a test, unmounted however the test ends; mounted() is false where it
// cannot be (not root, or no permission to mount).
class SmallFileSystem {
public:
    SmallFileSystem(const std::string& dir, const std::string& size) : dir_(dir) {
        fs::create_directories(dir);
        mounted_ =
            geteuid() == 0 &&
            std::system(("mount -t tmpfs -o size=" + size + " tmpfs '" + dir + "' 2>/dev/null").c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            [[maybe_unused]] const int rc = std::system(("umount '" + dir_ + "'").c_str());
        }
    }
    bool mounted() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_ = false;
};

// Every file under `dir` that a stopped run must never leave: a staged (.part) file, a lock, or a
// run summary that is not whole JSON.
std::vector<std::string> cut_off_files(const std::string& dir) {
    std::vector<std::string> bad;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string name = e.path().string();
        if (name.ends_with(".part") || name.ends_with(".lock") ||
            (name.ends_with("_summary.json") && !nlohmann::json::accept(read_file(name))))
            bad.push_back(name);
    }
    return bad;
}

}  // namespace

// A file system that fills at several points of a run and of a batch: status 1, and every file
// left is whole (the summary and the batch summary included) or absent.
TEST(OutputFiles, AFullFileSystemLeavesNoCutOffFile) {
    TempDir dir;
    copy_example_data("ca533.rwl");
    copy_example_data("gp.rwl");
    std::ofstream("default.toml") << "# every key at its default\n";
    for (const char* size : {"200k", "600k", "1m", "1400k"}) {
        SmallFileSystem small(dir.file(std::string("small-") + size), size);
        if (!small.mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here (root only)";
        const std::string out = std::string("small-") + size;
        EXPECT_EQ(run_kestrovan("", "run --data=ca533.rwl --out=" + out + "/run -- default.toml"), 1) << size;
        EXPECT_EQ(run_kestrovan("", "batch default.toml ca533.rwl gp.rwl --jobs 1 --out " + out + "/batch"),
                  1)
            << size;
        const std::string said = read_file("out.txt");
        EXPECT_NE(said.find(" of 2 sites completed"), std::string::npos) << said;
        const std::string csv = out + "/batch/batch_summary.csv";
        if (fs::exists(csv))
            EXPECT_EQ(read_lines(csv).size(), 3u) << size;
        else
            EXPECT_NE(said.find("; the sites that completed: "), std::string::npos) << said;
        EXPECT_EQ(cut_off_files(out), std::vector<std::string>()) << size;
    }
}

// Two runs of one site into one folder: while one holds the site's lock, the other is refused
// with one line and writes nothing; the lock goes with the run that held it.
TEST(OutputFiles, ASecondRunOfOneSiteIntoOneFolderIsRefused) {
    TempDir dir;
    copy_example_data("gp.rwl");
    std::ofstream("default.toml") << "# every key at its default\n";
    fs::create_directories("o");
    const int held = ::open("o/gp.lock", O_RDWR | O_CREAT, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(run_kestrovan("", "run --data=gp.rwl --out=o -- default.toml"), 1);
    EXPECT_NE(
        read_file("out.txt").find("\nkestrovan: gp.rwl: Another run is writing the output files of o/gp "
                                  "(it holds o/gp.lock): nothing was written"),
        std::string::npos)
        << read_file("out.txt");
    EXPECT_FALSE(fs::exists("o/gp_out_v45_v2b.txt"));
    ::close(held);

    // Two at once: each either completes or is refused, and the files are those of one run.
    const std::string run = std::string(KESTROVAN_BINARY) + " run --data=gp.rwl --out=o -- default.toml";
    ASSERT_EQ(std::system(("sh -c '(" + run + " > a.txt 2>&1; echo $? > a.rc) & (" + run +
                           " > b.txt 2>&1; echo $? > b.rc) & wait'")
                              .c_str()),
              0);
    const int a = std::stoi(read_file("a.rc")), b = std::stoi(read_file("b.rc"));
    EXPECT_TRUE((a == 0 && b == 0) || a + b == 1) << a << " " << b;
    // The run completed (converged or at its best iterate; a stopped run says "stopped").
    EXPECT_NE(nlohmann::json::parse(read_file("o/gp_summary.json"))["outcome"], "stopped");
    EXPECT_FALSE(fs::exists("o/gp.lock"));
}
