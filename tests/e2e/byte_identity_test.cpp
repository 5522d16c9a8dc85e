// Every output file of the example runs and of a synthetic 1000 × 1000 run, at one and at two
// threads, has the bytes of the files the program wrote before its speed work (their checksums
// are kept here): the faster year means, running RBAR and file writing change no number.
// When a change to the method is meant to change numbers, these checksums are renewed with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "support/program_runner.hpp"
#include "support/synthetic.hpp"
#include "support/temp_dir.hpp"

namespace kestrovan::testing {
namespace {

namespace fs = std::filesystem;

// FNV-1a, 64 bits, of a file's bytes.
std::uint64_t checksum(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::uint64_t h = 0xcbf29ce484222325ull;
    char c;
    while (f.get(c)) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return h;
}

using Checksums = std::map<std::string, std::uint64_t>;

struct ExampleRun {
    const char* name;
    std::vector<std::string> inputs;  // bundled files copied beside the run
    std::string answers;
    Checksums files;
};

// Runs `answers` at `threads` threads in a fresh directory holding `inputs` (written by
// `prepare`), and compares every file the run leaves with `expected`.
template <class Prepare>
void expect_same_files(const std::string& name, const std::string& answers, int threads,
                       const Checksums& expected, Prepare&& prepare) {
    SCOPED_TRACE(name + ", " + std::to_string(threads) + " thread(s)");
    TempDir dir;
    const std::vector<std::string> inputs = prepare();
    ASSERT_EQ(run_kestrovan(answers, "--no-plots", "export KESTROVAN_THREADS=" + std::to_string(threads)), 0)
        << read_file("out.txt");
    Checksums written;
    for (const auto& entry : fs::directory_iterator(".")) {
        const std::string file = entry.path().filename().string();
        if (file == "answers.txt" || file == "out.txt") continue;
        // The run summary came later than these checksums; its numbers are those of the files.
        if (file.size() > 13 && file.compare(file.size() - 13, 13, "_summary.json") == 0) continue;
        if (std::find(inputs.begin(), inputs.end(), file) != inputs.end()) continue;
        written[file] = checksum(file);
    }
    for (const auto& [file, sum] : expected) {
        const auto it = written.find(file);
        if (it == written.end())
            ADD_FAILURE() << file << " not written";
        else
            EXPECT_EQ(it->second, sum) << file << " differs";
    }
    for (const auto& [file, sum] : written)
        if (!expected.count(file)) ADD_FAILURE() << file << " written, not expected";
}

const std::vector<ExampleRun>& example_runs() {
    static const std::vector<ExampleRun> runs = {
        {"ca533 per-series spline, RBAR 51",
         {"ca533.rwl"},
         example_answers("ca533_spline.txt"),
         {{"ca533_SSF_RAW_Curves.txt", 0xb36cad0a38df1ad9ull},
          {"ca533_SSF_RAW_Data.txt", 0x6fe82b167b826d78ull},
          {"ca533_SSF_RAW_Ratios.txt", 0xbc82e3ffeecb3e1bull},
          {"ca533_STD_RAW_Curves.txt", 0x2ab766ead710c314ull},
          {"ca533_STD_RAW_Data.txt", 0x142393d93c4e1db4ull},
          {"ca533_STD_RAW_Ratios.txt", 0x8abdaca7dc965062ull},
          {"ca533_Ssf_RBAR.txt", 0x3788ba108aeb239cull},
          {"ca533_Std_RBAR.txt", 0x49476aa0f7569b9eull},
          {"ca533_crns.csv", 0xcc6a8b6097fc4dffull},
          {"ca533_crns_col.txt", 0x3c1a1832bded76a5ull},
          {"ca533_crns_res.txt", 0x06da37c93cc5c6a1ull},
          {"ca533_crns_res_tuc.txt", 0xb7e21c39a74be404ull},
          {"ca533_crns_tuc.txt", 0x705f634170ac94b5ull},
          {"ca533_out_v45_v2b.txt", 0x356633730df10112ull},
          {"ca533_series_stats.txt", 0xc175a83464deae51ull},
          {"ca533_spectra.txt", 0x5e6ffdedbe7085abull}}},
        {"gp Regional curve with pith offsets",
         {"gp.rwl", "gp_pith.txt"},
         example_answers("gp_rcs.txt"),
         {{"gp_RCScurves.txt", 0x57adc377b02eafe1ull},
          {"gp_SSF_RAW_Curves.txt", 0x2721208b09c9612full},
          {"gp_SSF_RAW_Data.txt", 0x2c589e8093a8cfd7ull},
          {"gp_SSF_RAW_Ratios.txt", 0x86d732aee2ed4ca5ull},
          {"gp_STD_RAW_Curves.txt", 0x8ad4a767ea653590ull},
          {"gp_STD_RAW_Data.txt", 0x769318b3fb14f901ull},
          {"gp_STD_RAW_Ratios.txt", 0xc556f1fb1b09743aull},
          {"gp_Ssf_RBAR.txt", 0x834a7b14444c1dfaull},
          {"gp_Std_RBAR.txt", 0xe155278462f7fe0bull},
          {"gp_crns.csv", 0xee780f94f9e270fbull},
          {"gp_crns_col.txt", 0xa9d68104c94c9294ull},
          {"gp_crns_res.txt", 0x0225dda55a9dee6bull},
          {"gp_crns_res_tuc.txt", 0x397940e241997a61ull},
          {"gp_crns_tuc.txt", 0x19e737836be3a96aull},
          {"gp_out_v45_v2b.txt", 0xe50fb2e72716454cull},
          {"gp_series_stats.txt", 0xf0c312c9fe79c70aull},
          {"gp_spectra.txt", 0x87f3b4d395da5092ull}}},
        {"co021 negative exponentials",
         {"co021.rwl"},
         "co021.rwl\n1\nR\n1\n1\n\n\n\n\n\n",
         {{"co021_SSF_RAW_Curves.txt", 0xe31666b265b44beeull},
          {"co021_SSF_RAW_Data.txt", 0xe3f6027379ca279aull},
          {"co021_SSF_RAW_Ratios.txt", 0x95f21cb3ac6f7fddull},
          {"co021_STD_RAW_Curves.txt", 0xf635ff0e3b08b8b7ull},
          {"co021_STD_RAW_Data.txt", 0x325a9792851a8fe9ull},
          {"co021_STD_RAW_Ratios.txt", 0x886e27a67680d27full},
          {"co021_Ssf_RBAR.txt", 0x56987d77b4cdab53ull},
          {"co021_Std_RBAR.txt", 0x3a1501e74d2297c4ull},
          {"co021_crns.csv", 0xfa16cfaafdd665a6ull},
          {"co021_crns_col.txt", 0xa72473e63587edceull},
          {"co021_crns_res.txt", 0x1466a09d89f2f047ull},
          {"co021_crns_res_tuc.txt", 0xe63b6c318b3ad4d1ull},
          {"co021_crns_tuc.txt", 0xa97c5382c7309e20ull},
          {"co021_out_v45_v2b.txt", 0xa1e26c7a1ed5bda7ull},
          {"co021_series_stats.txt", 0x7c5ecb0bf32a20b1ull},
          {"co021_spectra.txt", 0x9cc2a0578696a9a7ull}}},
        {"ca533 fixed spline 32, up to the iteration limit",
         {"ca533.rwl"},
         "ca533.rwl\n1\nR\n1\n32\n\n\n\n\n\n",
         {{"ca533_SSF_RAW_Curves.txt", 0x79c7724cf8243335ull},
          {"ca533_SSF_RAW_Data.txt", 0x6665f30e60d5a184ull},
          {"ca533_SSF_RAW_Ratios.txt", 0x48f25200948208b1ull},
          {"ca533_STD_RAW_Curves.txt", 0x71dabdee1abe2b1aull},
          {"ca533_STD_RAW_Data.txt", 0x142393d93c4e1db4ull},
          {"ca533_STD_RAW_Ratios.txt", 0x08f224d819888c14ull},
          {"ca533_Ssf_RBAR.txt", 0xe68449c9e4b00043ull},
          {"ca533_Std_RBAR.txt", 0x9017163d7e533002ull},
          {"ca533_crns.csv", 0xeba4be550ac86d25ull},
          {"ca533_crns_col.txt", 0x2d3980a90bdbb140ull},
          {"ca533_crns_res.txt", 0x7b0c8ea6b81c03d0ull},
          {"ca533_crns_res_tuc.txt", 0x8ab85b03aa966e12ull},
          {"ca533_crns_tuc.txt", 0xad5261d44d8f02a3ull},
          {"ca533_out_v45_v2b.txt", 0x38906d18e536d4e9ull},
          {"ca533_series_stats.txt", 0xca93ee91f78a1490ull},
          {"ca533_spectra.txt", 0xb2b7fb82a02cac63ull}}},
        {"gp power-transformed residuals, no RBAR",
         {"gp.rwl"},
         "gp.rwl\n1\nS\nT\n1\n8\n\n\n0\n\n\n",
         {{"gp_SSF_PTR_Curves.txt", 0xf1faa0f6e1c65a88ull},
          {"gp_SSF_PTR_Data.txt", 0x5bebb3f2e4e4ff7dull},
          {"gp_SSF_PTR_Resids.txt", 0x140f2a5e04d2e7cbull},
          {"gp_STD_PTR_Curves.txt", 0x88f74a8b21d08b76ull},
          {"gp_STD_PTR_Data.txt", 0x0c0284e0b3d2cd29ull},
          {"gp_STD_PTR_Resids.txt", 0xfe270a7b0e80933aull},
          {"gp_crns.csv", 0xca32e7be154ef565ull},
          {"gp_crns_col.txt", 0x7c4c60c97d793626ull},
          {"gp_crns_res.txt", 0x96cd27a92cf79d90ull},
          {"gp_crns_res_tuc.txt", 0x3a4b53db1fa0ef6eull},
          {"gp_crns_tuc.txt", 0xbe1fa74cd2b9929full},
          {"gp_out_v45_v2b.txt", 0xe44edd4a6248c52bull},
          {"gp_series_stats.txt", 0x30112b2233bb4e56ull},
          {"gp_spectra.txt", 0xff1f144c32d4df04ull}}},
        {"gp spline with the age-dependent spline stabilization",
         {"gp.rwl"},
         "gp.rwl\n1\nR\n1\n6\n\n\n1\n\n\ny\ny\n\n",
         {{"gp_SSF_RAW_Curves.txt", 0x299cf2dfa048deadull},
          {"gp_SSF_RAW_Data.txt", 0x821ca4d1432b8601ull},
          {"gp_SSF_RAW_Ratios.txt", 0xdf017467f8d6d4c5ull},
          {"gp_STD_RAW_Curves.txt", 0x5d1c6e811246a251ull},
          {"gp_STD_RAW_Data.txt", 0x769318b3fb14f901ull},
          {"gp_STD_RAW_Ratios.txt", 0xc0868ec55f4de54bull},
          {"gp_Ssf_RBAR.txt", 0x49642f61cf986beaull},
          {"gp_Std_RBAR.txt", 0x49642f61cf986beaull},
          {"gp_crns.csv", 0xf9d87801a5f7629cull},
          {"gp_crns_col.txt", 0x226cf90349886ca8ull},
          {"gp_crns_res.txt", 0x63c8303e3bec79f7ull},
          {"gp_crns_res_tuc.txt", 0x4f47f47b7c52f7d1ull},
          {"gp_crns_tuc.txt", 0x7b847afa84b4bd05ull},
          {"gp_out_v45_v2b.txt", 0xa9e6014731d646f7ull},
          {"gp_series_stats.txt", 0x789cea03d15ff7e3ull},
          {"gp_spectra.txt", 0x9e9ccf27afc60613ull}}},
        {"co021 residuals, arithmetic mean, common period",
         {"co021.rwl"},
         "co021.rwl\n1\nS\nF\n7\n1600\n1900\n100\n1\n\n\n\n\n\n",
         {{"co021_SSF_RAW_Curves.txt", 0xde6b56f40c5ad0f7ull},
          {"co021_SSF_RAW_Data.txt", 0x7a7acf4f9ff68f11ull},
          {"co021_SSF_RAW_Resids.txt", 0xece8b5cae59557ecull},
          {"co021_STD_RAW_Curves.txt", 0x2a6a98e82e9cbb93ull},
          {"co021_STD_RAW_Data.txt", 0x1f4da0c077abaf65ull},
          {"co021_STD_RAW_Resids.txt", 0x8ac9fb74599bca8full},
          {"co021_Ssf_RBAR.txt", 0x55bf249c0bc50f4dull},
          {"co021_Std_RBAR.txt", 0x602317f854a1a4f4ull},
          {"co021_comm=1600-1900.txt", 0x3a3be793ab22615full},
          {"co021_crns.csv", 0x7ce80714a85cb3f5ull},
          {"co021_crns_col.txt", 0xc95b25b738b9d6f7ull},
          {"co021_crns_res.txt", 0x4a4ee1ad1359a5fdull},
          {"co021_crns_res_tuc.txt", 0x3381697635481f6bull},
          {"co021_crns_tuc.txt", 0x322cf3e4e062c310ull},
          {"co021_out_v45_v2b.txt", 0x0cdfb1e175ed5f28ull},
          {"co021_series_stats.txt", 0xb2712bc2c0ca632dull},
          {"co021_spectra.txt", 0xfa86e956a3cb114aull}}},
    };
    return runs;
}

// One example run at one thread count.
class ExampleRunBytes : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(ExampleRunBytes, SameFiles) {
    const ExampleRun& run = example_runs()[static_cast<std::size_t>(std::get<0>(GetParam()))];
    expect_same_files(run.name, run.answers, std::get<1>(GetParam()), run.files, [&] {
        for (const std::string& file : run.inputs) copy_example_data(file);
        return run.inputs;
    });
}

INSTANTIATE_TEST_SUITE_P(ByteIdentity, ExampleRunBytes,
                         ::testing::Combine(::testing::Range(0, 7), ::testing::Values(1, 2)));

// The synthetic set at one thread count.
class SyntheticRunBytes : public ::testing::TestWithParam<int> {};

TEST_P(SyntheticRunBytes, SameFiles) {
#if defined(__SANITIZE_ADDRESS__)
    // Half a minute a run in the sanitizer build: the optimized build compares the bytes, the
    // example runs and the kernel tests cover the same code for memory faults.
    GTEST_SKIP() << "the 1000 x 1000 run is compared in the optimized build";
#endif
    // The set of bench/make_synthetic --series 1000 --years 1000 --first-year 1001 --seed 1,
    // and the per-series spline run of the whole-run benchmark.
    synthetic::Options o;
    o.series = 1000;
    o.years = 1000;
    o.first_year = 1001;
    o.seed = 1;
    o.max_pith_offset = 150;
    const synthetic::Set set = synthetic::generate(o);
    const std::string answers = "syn1000.rwl\n1\nR\n1\n8\n\n2\n51\n0\n2\ny\n" + std::string(20, '\n');
    const Checksums expected = {{"syn1000_SSF_RAW_Curves.txt", 0x0104f08af3aff438ull},
                                {"syn1000_SSF_RAW_Data.txt", 0x73e17edcf0e8b380ull},
                                {"syn1000_SSF_RAW_Ratios.txt", 0x5e9e4d46552bd0c9ull},
                                {"syn1000_STD_RAW_Curves.txt", 0xf5a8d147ddb76409ull},
                                {"syn1000_STD_RAW_Data.txt", 0x699c6ebdb671a271ull},
                                {"syn1000_STD_RAW_Ratios.txt", 0x0e70f038905ef4f7ull},
                                {"syn1000_Ssf_RBAR.txt", 0x6e6075df23338bf2ull},
                                {"syn1000_Std_RBAR.txt", 0xed25d892b9b517c3ull},
                                {"syn1000_crns.csv", 0x524ab282bab23334ull},
                                {"syn1000_crns_col.txt", 0x87239fa7499f0240ull},
                                {"syn1000_crns_res.txt", 0x5306c01eee751116ull},
                                {"syn1000_crns_res_tuc.txt", 0x3c9b7e7d12d2e6f7ull},
                                {"syn1000_crns_tuc.txt", 0xffbe7171c3bb97a0ull},
                                {"syn1000_out_v45_v2b.txt", 0x20ceeedfd9232f47ull},
                                {"syn1000_series_stats.txt", 0xf9474ad11857197cull},
                                {"syn1000_spectra.txt", 0xc6422c5d0bf65a16ull}};
    expect_same_files("syn1000 per-series spline", answers, GetParam(), expected, [&] {
        synthetic::write_files(set, "syn1000.rwl");
        // The data file itself: a change in the generator or the writer shows here first.
        EXPECT_EQ(checksum("syn1000.rwl"), 0xe520de04df5fb488ull);
        return std::vector<std::string>{"syn1000.rwl"};
    });
}

INSTANTIATE_TEST_SUITE_P(ByteIdentity, SyntheticRunBytes, ::testing::Values(1, 2));

}  // namespace
}  // namespace kestrovan::testing
