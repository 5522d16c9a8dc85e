// Every output file of the example runs and of a synthetic 1000 × 1000 run, at one and at two
// threads, has the bytes of the files the program wrote before its speed work (their checksums
// are kept here): the faster year means, running RBAR and file writing change no number.
// When a change to the method is meant to change numbers, these checksums are renewed with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
    // KESTROVAN_PRINT_CHECKSUMS=1 prints the checksums as the lists below hold them, for renewing.
    if (std::getenv("KESTROVAN_PRINT_CHECKSUMS")) {
        std::printf("CHECKSUMS %s\n", name.c_str());
        for (const auto& [file, sum] : written)
            std::printf("{\"%s\", 0x%016llxull},\n", file.c_str(), static_cast<unsigned long long>(sum));
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
         {{"ca533_SSF_RAW_Curves.txt", 0x47d54a0e5b5185e4ull},
          {"ca533_SSF_RAW_Data.txt", 0x46139f22cf925da5ull},
          {"ca533_SSF_RAW_Ratios.txt", 0xe790a59b35d82d88ull},
          {"ca533_STD_RAW_Curves.txt", 0x4af5081220c44b09ull},
          {"ca533_STD_RAW_Data.txt", 0x142393d93c4e1db4ull},
          {"ca533_STD_RAW_Ratios.txt", 0xa3a1b1f15f3d2c6aull},
          {"ca533_Ssf_RBAR.txt", 0x20e592631cec9eccull},
          {"ca533_Std_RBAR.txt", 0x4e672f577aa7ab1cull},
          {"ca533_crns.csv", 0x1dd800e69c4b57adull},
          {"ca533_crns_col.txt", 0x0af4633d7ad138c5ull},
          {"ca533_crns_res.txt", 0x9dc0f9a735556e5full},
          {"ca533_crns_res_tuc.txt", 0xc2dafb7550c9509bull},
          {"ca533_crns_tuc.txt", 0xa3f6e6b58fe2b42bull},
          {"ca533_out_v45_v2b.txt", 0xfca33940f310e280ull},
          {"ca533_xdate.txt", 0x5e45499c54ca2ab9ull},
          {"ca533_series.csv", 0x8f752578db5426e0ull},
          {"ca533_series_stats.txt", 0xb4ff98599212fba7ull},
          {"ca533_spectra.txt", 0x18492abb4246006dull},
          {"ca533_ssfarm.crn", 0xc493bfd9501a35d6ull},
          {"ca533_ssfcrn.crn", 0x191ea3bb37460eccull},
          {"ca533_ssfres.crn", 0x499c30680c5b766eull},
          {"ca533_ssfstb.crn", 0x701b8fe5df396779ull},
          {"ca533_stdarm.crn", 0xecbf408fdb2eec70ull},
          {"ca533_stdcrn.crn", 0xbf98e9e12c43ab68ull},
          {"ca533_stdres.crn", 0x91ce902042c4d50eull},
          {"ca533_stdstb.crn", 0x60b9810821b62663ull}}},
        {"gp Regional curve with pith offsets",
         {"gp.rwl", "gp_pith.txt"},
         example_answers("gp_rcs.txt"),
         {{"gp_RCScurves.txt", 0xe0e8a163fcd60d14ull},      {"gp_SSF_RAW_Curves.txt", 0x8385d1fc906eefddull},
          {"gp_SSF_RAW_Data.txt", 0xc296c493f2e0d000ull},   {"gp_SSF_RAW_Ratios.txt", 0xfe23a4b807ff5b61ull},
          {"gp_STD_RAW_Curves.txt", 0x8ad4a767ea653590ull}, {"gp_STD_RAW_Data.txt", 0x769318b3fb14f901ull},
          {"gp_STD_RAW_Ratios.txt", 0xc556f1fb1b09743aull}, {"gp_Ssf_RBAR.txt", 0xd7cf4ebd9b3781b5ull},
          {"gp_Std_RBAR.txt", 0xe155278462f7fe0bull},       {"gp_crns.csv", 0xe1bcdb481230c3b8ull},
          {"gp_crns_col.txt", 0x92d4e0409de5b304ull},       {"gp_crns_res.txt", 0x8852d0100d30a718ull},
          {"gp_crns_res_tuc.txt", 0x32ff70dad051f552ull},   {"gp_crns_tuc.txt", 0x42c9287e04cf8346ull},
          {"gp_out_v45_v2b.txt", 0x1790d715f30fdb64ull},    {"gp_xdate.txt", 0x2a63a401c5fecd51ull},
          {"gp_series.csv", 0x4784f5c33e624ecaull},         {"gp_series_stats.txt", 0xe7a1a78ad9e87192ull},
          {"gp_spectra.txt", 0xd32f308b870ac78eull},        {"gp_ssfarm.crn", 0x8bd18bd6ee4605d7ull},
          {"gp_ssfcrn.crn", 0x29c22b3b98a81ea3ull},         {"gp_ssfres.crn", 0x93549c7922c855a1ull},
          {"gp_ssfstb.crn", 0x14e903713d955417ull},         {"gp_stdarm.crn", 0x64caf8bc20669281ull},
          {"gp_stdcrn.crn", 0x15470e180a1a4137ull},         {"gp_stdres.crn", 0xd0922d5526a366b6ull},
          {"gp_stdstb.crn", 0x1a822675fb0ca7c0ull}}},
        {"co021 negative exponentials",
         {"co021.rwl"},
         "co021.rwl\n1\nR\n1\n1\n\n\n\n\n\n",
         {{"co021_SSF_RAW_Curves.txt", 0xe9403888496998feull},
          {"co021_SSF_RAW_Data.txt", 0xbd24de25ccd16c64ull},
          {"co021_SSF_RAW_Ratios.txt", 0x578c2c45cbff3dcaull},
          {"co021_STD_RAW_Curves.txt", 0xf635ff0e3b08b8b7ull},
          {"co021_STD_RAW_Data.txt", 0x325a9792851a8fe9ull},
          {"co021_STD_RAW_Ratios.txt", 0x886e27a67680d27full},
          {"co021_Ssf_RBAR.txt", 0x59acf5d447261b26ull},
          {"co021_Std_RBAR.txt", 0x3a1501e74d2297c4ull},
          {"co021_crns.csv", 0x7d34b0e12dfcb634ull},
          {"co021_crns_col.txt", 0xc517641922b06040ull},
          {"co021_crns_res.txt", 0x2419844dff5438e4ull},
          {"co021_crns_res_tuc.txt", 0xb03a0e7b754e09f4ull},
          {"co021_crns_tuc.txt", 0x5a0fc8bee7bdabe0ull},
          {"co021_out_v45_v2b.txt", 0x5d38b7f44811a2edull},
          {"co021_xdate.txt", 0x41ccb407fc4172e7ull},
          {"co021_series.csv", 0x8e11dd82cd812c2cull},
          {"co021_series_stats.txt", 0x01ee9842696ab1bfull},
          {"co021_spectra.txt", 0x3d92bb8a15b7fb43ull},
          {"co021_ssfarm.crn", 0x9a4a4e4c8baabdd2ull},
          {"co021_ssfcrn.crn", 0x84413135623c2d0eull},
          {"co021_ssfres.crn", 0x148777dd7db8394full},
          {"co021_ssfstb.crn", 0x9ebf41d37618cffbull},
          {"co021_stdarm.crn", 0x58e5639d1a8401cbull},
          {"co021_stdcrn.crn", 0xaf3705cf0e26b0ecull},
          {"co021_stdres.crn", 0x2899efb4e33885c9ull},
          {"co021_stdstb.crn", 0x61ae3ac643e10bc6ull}}},
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
          {"ca533_crns.csv", 0xeb0c88ae4273a111ull},
          {"ca533_crns_col.txt", 0x2d3980a90bdbb140ull},
          {"ca533_crns_res.txt", 0x7b0c8ea6b81c03d0ull},
          {"ca533_crns_res_tuc.txt", 0xebd4c16041205444ull},
          {"ca533_crns_tuc.txt", 0xad5261d44d8f02a3ull},
          {"ca533_out_v45_v2b.txt", 0x4ee8fbf5fe79f63eull},
          {"ca533_xdate.txt", 0x5e45499c54ca2ab9ull},
          {"ca533_series.csv", 0x106bd48c46a84428ull},
          {"ca533_series_stats.txt", 0xca93ee91f78a1490ull},
          {"ca533_spectra.txt", 0xb2b7fb82a02cac63ull},
          {"ca533_ssfarm.crn", 0xe59d5ef6b1dc2689ull},
          {"ca533_ssfcrn.crn", 0x4ab341ea48fbd4cbull},
          {"ca533_ssfres.crn", 0x2f3a064dfe729dd6ull},
          {"ca533_ssfstb.crn", 0xb10c99158fc20b34ull},
          {"ca533_stdarm.crn", 0xad5703b00645cb5eull},
          {"ca533_stdcrn.crn", 0x2ffa90620f58a91cull},
          {"ca533_stdres.crn", 0xa746b9c4ed3f2294ull},
          {"ca533_stdstb.crn", 0x9eb6d95cdc7671c1ull}}},
        {"gp power-transformed residuals, no RBAR",
         {"gp.rwl"},
         "gp.rwl\n1\nS\nT\n1\n8\n\n\n0\n\n\n",
         {{"gp_SSF_PTR_Curves.txt", 0xe7bbb0b256a84917ull}, {"gp_SSF_PTR_Data.txt", 0xda1ef5b4fc8ee153ull},
          {"gp_SSF_PTR_Resids.txt", 0xeaec1764da3bf304ull}, {"gp_STD_PTR_Curves.txt", 0x97edfd0bec5ce1f6ull},
          {"gp_STD_PTR_Data.txt", 0x0c0284e0b3d2cd29ull},   {"gp_STD_PTR_Resids.txt", 0x37002c1d17979d3cull},
          {"gp_crns.csv", 0x73957ce40a908df4ull},           {"gp_crns_col.txt", 0x6055f1079b2f3efaull},
          {"gp_crns_res.txt", 0xf5deb80112f1237full},       {"gp_crns_res_tuc.txt", 0x6fdc0a574cf98a01ull},
          {"gp_crns_tuc.txt", 0x4f0f3583ced6e721ull},       {"gp_out_v45_v2b.txt", 0x53980cba95f394daull},
          {"gp_xdate.txt", 0x2a63a401c5fecd51ull},          {"gp_series.csv", 0x0474e5b5f4794ee8ull},
          {"gp_series_stats.txt", 0x6442e732d64c9221ull},   {"gp_spectra.txt", 0x8ca0db16e05f8608ull},
          {"gp_ssfarm.crn", 0x3fe4cbd89eabd49cull},         {"gp_ssfcrn.crn", 0x0c3b94b9ee6cc1d5ull},
          {"gp_ssfres.crn", 0x57cace258d3be130ull},         {"gp_stdarm.crn", 0xe506f9f90fa74c69ull},
          {"gp_stdcrn.crn", 0x39c87edf427a42cfull},         {"gp_stdres.crn", 0x06a0f6e33d8139c7ull}}},
        {"gp spline with the age-dependent spline stabilization",
         {"gp.rwl"},
         "gp.rwl\n1\nR\n1\n6\n\n\n1\n\n\ny\ny\n\n",
         {{"gp_SSF_RAW_Curves.txt", 0x299cf2dfa048deadull}, {"gp_SSF_RAW_Data.txt", 0x8e5733b0a76fcb2eull},
          {"gp_SSF_RAW_Ratios.txt", 0x49212136c586562eull}, {"gp_STD_RAW_Curves.txt", 0x5d1c6e811246a251ull},
          {"gp_STD_RAW_Data.txt", 0x769318b3fb14f901ull},   {"gp_STD_RAW_Ratios.txt", 0xc0868ec55f4de54bull},
          {"gp_Ssf_RBAR.txt", 0x49642f61cf986beaull},       {"gp_Std_RBAR.txt", 0x49642f61cf986beaull},
          {"gp_crns.csv", 0x5497b327b6d0acc2ull},           {"gp_crns_col.txt", 0xe68ded1754b6f7ecull},
          {"gp_crns_res.txt", 0x63c8303e3bec79f7ull},       {"gp_crns_res_tuc.txt", 0x3b4ba34a09918fb5ull},
          {"gp_crns_tuc.txt", 0x38842712651972ddull},       {"gp_out_v45_v2b.txt", 0xe5e8f5a9c8ad7cb5ull},
          {"gp_xdate.txt", 0x2a63a401c5fecd51ull},          {"gp_series.csv", 0xdde62f51a7e2029bull},
          {"gp_series_stats.txt", 0x789cea03d15ff7e3ull},   {"gp_spectra.txt", 0xb5b8068257a4f925ull},
          {"gp_ssfarm.crn", 0x0885eb13aa4fb584ull},         {"gp_ssfcrn.crn", 0x77908face4ddb775ull},
          {"gp_ssfres.crn", 0x9ed0739191d31b7cull},         {"gp_ssfstb.crn", 0x1cce1d6c77b3ee48ull},
          {"gp_stdarm.crn", 0x51f9aad71ed2326full},         {"gp_stdcrn.crn", 0x1067792113c6d292ull},
          {"gp_stdres.crn", 0xb7dd0c10781fe591ull},         {"gp_stdstb.crn", 0x17743191a0bad36bull}}},
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
          {"co021_crns.csv", 0xe2e6a5fb51bae551ull},
          {"co021_crns_col.txt", 0xc95b25b738b9d6f7ull},
          {"co021_crns_res.txt", 0x4a4ee1ad1359a5fdull},
          {"co021_crns_res_tuc.txt", 0xf2c3321dafb09317ull},
          {"co021_crns_tuc.txt", 0x322cf3e4e062c310ull},
          {"co021_out_v45_v2b.txt", 0x03a8f61d685b1775ull},
          {"co021_xdate.txt", 0x2d19fa10bb46c592ull},
          {"co021_series.csv", 0x4a5063b0d92ee96eull},
          {"co021_series_stats.txt", 0xb2712bc2c0ca632dull},
          {"co021_spectra.txt", 0xfa86e956a3cb114aull},
          {"co021_ssfarm.crn", 0xb51d514913e063aeull},
          {"co021_ssfcrn.crn", 0x078f8dfc738d6daaull},
          {"co021_ssfres.crn", 0x9f9e69caf86524cdull},
          {"co021_ssfstb.crn", 0x3cadc6bb32fa5fb9ull},
          {"co021_stdarm.crn", 0x692bb97d13129b50ull},
          {"co021_stdcrn.crn", 0xaa71a93cbf9ae2b5ull},
          {"co021_stdres.crn", 0x73bca4b32a3da357ull},
          {"co021_stdstb.crn", 0x5c8688a26a94fb3bull}}},
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
    const Checksums expected = {{"syn1000_SSF_RAW_Curves.txt", 0x4f97545ba87db2acull},
                                {"syn1000_SSF_RAW_Data.txt", 0xa07e45da0cd32683ull},
                                {"syn1000_SSF_RAW_Ratios.txt", 0x85bb78ef399f5b5aull},
                                {"syn1000_STD_RAW_Curves.txt", 0x95a65928662f9d37ull},
                                {"syn1000_STD_RAW_Data.txt", 0x699c6ebdb671a271ull},
                                {"syn1000_STD_RAW_Ratios.txt", 0xbefbb503a6144189ull},
                                {"syn1000_Ssf_RBAR.txt", 0xad4dbbec339a72aaull},
                                {"syn1000_Std_RBAR.txt", 0x27d0180d260095b1ull},
                                {"syn1000_crns.csv", 0x628ecb7b7710829cull},
                                {"syn1000_crns_col.txt", 0x5a397b9b14ad09fdull},
                                {"syn1000_crns_res.txt", 0xe42a94955ce10c78ull},
                                {"syn1000_crns_res_tuc.txt", 0xd26b7e0c0e4034d6ull},
                                {"syn1000_crns_tuc.txt", 0x06b6a411d985df92ull},
                                {"syn1000_out_v45_v2b.txt", 0x2e3d28e90ad3bf1cull},
                                {"syn1000_xdate.txt", 0x45814b380163a881ull},
                                {"syn1000_series.csv", 0x793a238b840976fcull},
                                {"syn1000_series_stats.txt", 0xd994d8c24b9e4d50ull},
                                {"syn1000_spectra.txt", 0x91dbcc01d8971a3cull},
                                {"syn1000_ssfarm.crn", 0xdbc5718b7445474eull},
                                {"syn1000_ssfcrn.crn", 0x84fb26c9fa790176ull},
                                {"syn1000_ssfres.crn", 0xd9f9060b0f9e26beull},
                                {"syn1000_ssfstb.crn", 0xb5524fe6697eb907ull},
                                {"syn1000_stdarm.crn", 0x565aa1cda0e3aa5bull},
                                {"syn1000_stdcrn.crn", 0xd505299cfd176a57ull},
                                {"syn1000_stdres.crn", 0x5e61fc04bafb0fd2ull},
                                {"syn1000_stdstb.crn", 0xc042256369adc899ull}};
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
