#include "run/batch.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "console/report.hpp"
#include "console/signals.hpp"
#include "console/stop.hpp"
#include "io/output_files.hpp"
#include "io/text_fields.hpp"
#include "model/format.hpp"
#include "run/run_file.hpp"

extern char** environ;

namespace kestrovan {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

// How long a site that was told to stop (SIGTERM, or the signal the batch received) has before
// it is killed: it stops at its next safe point, which a site that hangs never reaches.
constexpr auto kStopGrace = std::chrono::seconds(5);
// How often the batch looks for ended sites, time limits and signals.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

struct Site {
    std::string data;
    std::string out_dir;      // "" = beside the data file
    std::string status_file;  // where the site's process leaves its status
    pid_t pid = 0;
    Clock::time_point start;
    std::string stopped_for;  // "" while running on; "signal" or "time limit" once told to stop
    Clock::time_point kill_at;
    bool killed = false;
    BatchRow row;
};

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string number_text(const json& j, const char* key, int decimals = -1) {
    if (!j.is_object() || !j.contains(key) || !j[key].is_number()) return "";
    if (decimals < 0) return std::to_string(j[key].get<long long>());
    return fixed(j[key].get<double>(), decimals);
}

std::string csv_field(const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The environment of a site's process: one thread unless KESTROVAN_THREADS is set.
std::vector<std::string> site_environment() {
    std::vector<std::string> env;
    bool threads = false;
    for (char** e = environ; e && *e; ++e) {
        env.emplace_back(*e);
        threads = threads || env.back().rfind("KESTROVAN_THREADS=", 0) == 0;
    }
    if (!threads) env.emplace_back("KESTROVAN_THREADS=1");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// Starts the process of a site; false when it cannot be started.
bool start_site(const BatchOptions& options, std::vector<std::string>& env, Site& site) {
    std::error_code ec;
    std::string name = (fs::temp_directory_path(ec) / "kestrovan-batch-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd < 0) return false;
    close(fd);
    site.status_file = name;
    // Every path is passed so that it cannot be read as an option (a name may start with "-"):
    // option values joined to their option by "=", the run file after "--".
    std::vector<std::string> args{options.program, "run", "--data=" + site.data,
                                  "--status-file=" + site.status_file};
    if (!site.out_dir.empty()) args.push_back("--out=" + site.out_dir);
    args.push_back("--");
    args.push_back(options.run_file);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    auto argv = pointers(args);
    auto envp = pointers(env);
    site.start = Clock::now();
    const int rc =
        posix_spawn(&site.pid, options.program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

// Gives the site its row; the output directory planned for it stays.
void set_row(Site& site, BatchRow row) {
    row.output_dir = std::move(site.row.output_dir);
    site.row = std::move(row);
}

// The row of a site whose process has ended with `status` (waitpid's).
void finish_site(Site& site, int status) {
    const std::string text = read_text(site.status_file);
    std::error_code ec;
    fs::remove(site.status_file, ec);
    std::string why = "the run ended without a status";
    if (WIFSIGNALED(status)) why = "killed by signal " + std::to_string(WTERMSIG(status));
    set_row(site, batch_row(site.data, text, why));
    // A site that completed before the stop reached it keeps its row.
    if (!site.stopped_for.empty() && !site.row.completed) site.row.outcome = "stopped: " + site.stopped_for;
    site.row.seconds = std::chrono::duration<double>(Clock::now() - site.start).count();
}

// The folder that holds every one of `paths` (absolute, normalized).
fs::path common_folder(const std::vector<fs::path>& paths) {
    fs::path common = paths.front().parent_path();
    for (const fs::path& p : paths) {
        const fs::path dir = p.parent_path();
        fs::path shared;
        for (auto a = common.begin(), b = dir.begin(); a != common.end() && b != dir.end() && *a == *b;
             ++a, ++b)
            shared /= *a;
        common = shared;
    }
    return common;
}

// The output directory of each site under `out_dir`: DIR/<base> when no two data files share a
// base name (users' scripts rely on that layout); otherwise the data file's path relative to the
// folder that holds all the data files (DIR/north/raw.rwl/ for .../north/raw.rwl), which no two
// data files can share.
std::vector<std::string> site_out_dirs(const std::vector<std::string>& data, const std::string& out_dir) {
    std::vector<std::string> dirs;
    std::map<std::string, int> base_count;
    for (const std::string& d : data) {
        std::string dir, own;
        split_path(d, dir, own);
        const std::string base = own.substr(0, own.find('.'));
        dirs.push_back(out_dir + "/" + base);
        ++base_count[base];
    }
    if (std::all_of(base_count.begin(), base_count.end(), [](const auto& b) { return b.second == 1; }))
        return dirs;
    std::vector<fs::path> paths;
    for (const std::string& d : data) {
        std::error_code ec;
        paths.push_back(fs::absolute(d, ec).lexically_normal());
    }
    const fs::path common = common_folder(paths);
    for (std::size_t i = 0; i < data.size(); ++i)
        dirs[i] = out_dir + "/" + paths[i].lexically_relative(common).string();
    return dirs;
}

// The sites of the batch, each with its output directory; false when two would write the same
// files (message on `err`).
bool plan_sites(const BatchOptions& options, std::vector<Site>& sites, std::ostream& err) {
    std::map<std::string, std::string> bases;  // output base -> data file
    const std::vector<std::string> out_dirs =
        options.out_dir.empty() ? std::vector<std::string>() : site_out_dirs(options.data, options.out_dir);
    for (std::size_t i = 0; i < options.data.size(); ++i) {
        const std::string& data = options.data[i];
        Site site;
        site.data = data;
        OutputFiles files;
        files.data_name = data;
        if (!options.out_dir.empty()) {
            site.out_dir = out_dirs[i];
            files.output_dir = site.out_dir;
        }
        std::error_code ec;
        const std::string base = fs::absolute(files.base_name(), ec).lexically_normal().string();
        if (auto [it, fresh] = bases.emplace(base, data); !fresh) {
            err << "kestrovan: "
                << one_line(it->second + " and " + data + " would write the same files (" +
                            files.base_name() + "_...): run them in separate batches")
                << "\n";
            return false;
        }
        site.row.file = data;
        std::string dir, own;
        split_path(files.base_name(), dir, own);
        site.row.output_dir = dir.empty() ? "." : dir.substr(0, dir.size() - 1);
        sites.push_back(std::move(site));
    }
    return true;
}

void show_progress(bool terminal, std::size_t done, std::size_t all, int failed, std::ostream& err) {
    if (!terminal) return;
    err << "\r" << done << "/" << all << " sites, " << failed << " failed" << std::flush;
    if (done == all) err << "\n";
}

// Tells a running site to stop (`why` goes into its row); it is killed if it has not ended
// within kStopGrace.
void stop_site(Site& site, int signal, const std::string& why) {
    if (!site.stopped_for.empty()) return;
    site.stopped_for = why;
    site.kill_at = Clock::now() + kStopGrace;
    kill(site.pid, signal);
}

// Runs the sites, at most `jobs` at a time; returns the number that did not complete. A stop
// signal received by the batch is passed on to the running sites and starts no new one; a site
// past its time limit is stopped. The batch returns once every site it started has ended.
int run_sites(const BatchOptions& options, int jobs, std::vector<Site>& sites, std::ostream& err) {
    std::vector<std::string> env = site_environment();
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const auto time_limit = std::chrono::duration<double>(options.site_timeout);
    std::map<pid_t, std::size_t> running;
    std::size_t next = 0, done = 0;
    int failed = 0;
    auto count = [&](Site& site) {
        ++done;
        if (!site.row.completed) ++failed;
        show_progress(terminal, done, sites.size(), failed, err);
    };
    while (done < sites.size()) {
        if (const int signal = stop_signal_received(); signal != 0) {
            for (auto& [pid, i] : running) stop_site(sites[i], signal, "signal");
            for (; next < sites.size(); ++next) {  // never started
                set_row(sites[next], batch_row(sites[next].data, "", "signal"));
                count(sites[next]);
            }
        }
        while (next < sites.size() && static_cast<int>(running.size()) < jobs) {
            Site& site = sites[next++];
            if (start_site(options, env, site)) {
                running[site.pid] = static_cast<std::size_t>(&site - sites.data());
            } else {
                set_row(site, batch_row(site.data, "", "the program could not be started"));
                count(site);
            }
        }
        const auto now = Clock::now();
        for (auto& [pid, i] : running) {
            Site& site = sites[i];
            if (options.site_timeout > 0 && now - site.start > time_limit)
                stop_site(site, SIGTERM, "time limit");
            if (!site.stopped_for.empty() && !site.killed && now > site.kill_at) {
                kill(site.pid, SIGKILL);
                site.killed = true;
            }
        }
        int status = 0;
        const pid_t pid = running.empty() ? 0 : waitpid(-1, &status, WNOHANG);
        auto it = running.find(pid);
        if (pid <= 0 || it == running.end()) {
            if (!running.empty()) std::this_thread::sleep_for(kPollInterval);
            continue;
        }
        Site& site = sites[it->second];
        running.erase(it);
        finish_site(site, status);
        count(site);
    }
    return failed;
}

}  // namespace

BatchRow batch_row(const std::string& file, const std::string& status_json,
                   const std::string& fallback_message) {
    BatchRow row;
    row.file = file;
    row.outcome = "stopped: " + fallback_message;
    const json j = json::parse(status_json, nullptr, false);
    if (!j.is_object() || !j.contains("outcome") || !j["outcome"].is_string()) return row;
    const std::string outcome = j["outcome"];
    const std::string message =
        j.contains("message") && j["message"].is_string() ? j["message"].get<std::string>() : "";
    row.completed = outcome != "stopped";
    row.outcome = row.completed ? outcome : "stopped: " + message;
    const json& s = j.contains("series_selected") ? j["series_selected"] : json();
    row.series = number_text(s, "series");
    row.first_year = number_text(s, "first_year");
    row.last_year = number_text(s, "last_year");
    row.span = number_text(s, "span");
    row.mean_segment_length = number_text(s, "mean_segment_length", 1);
    const json& site = j.contains("site") && j["site"].is_object() ? j["site"] : json();
    for (auto [key, field] :
         {std::pair{"code", &row.site_code}, {"name", &row.site_name}, {"species", &row.species}})
        if (site.contains(key) && site[key].is_string()) *field = site[key].get<std::string>();
    if (row.completed) {
        row.iterations = number_text(j, "iterations");
        row.constant = number_text(j, "constant", 1);
        const json& r = j.contains("rbar_signal_free") ? j["rbar_signal_free"] : json();
        row.mean_rbar = number_text(r, "mean_rbar", 3);
        row.first_year_eps = number_text(r, "first_year_eps_085");
        const json& st = j.contains("statistics") && j["statistics"].is_object() ? j["statistics"] : json();
        const json& sf = st.is_object() && st.contains("signal_free") ? st["signal_free"] : json();
        row.n_trees = number_text(sf, "n_trees");
        row.n_cores = number_text(sf, "n_cores");
        row.rbar_tot = number_text(sf, "rbar_tot", 3);
        row.rbar_eff = number_text(sf, "rbar_eff", 3);
        row.eps = number_text(sf, "eps", 3);
        row.snr = number_text(sf, "snr", 2);
        row.eps_085_from = number_text(sf, "eps_085_from");
    }
    const json& x = j.contains("crossdating") && j["crossdating"].is_object() ? j["crossdating"] : json();
    row.series_intercorrelation = number_text(x, "series_intercorrelation", 3);
    if (x.is_object() && x.contains("flagged") && x["flagged"].is_object()) {
        const json& f = x["flagged"];
        const int a = f.contains("A") && f["A"].is_number_integer() ? f["A"].get<int>() : 0;
        const int b = f.contains("B") && f["B"].is_number_integer() ? f["B"].get<int>() : 0;
        row.flagged_segments = std::to_string(a + b);
        row.flagged_series = number_text(x, "flagged_series");
    }
    return row;
}

std::string batch_csv(const std::vector<BatchRow>& rows) {
    std::string out =
        "file,series,first_year,last_year,span,mean_segment_length,outcome,iterations,constant,"
        "mean_rbar,first_year_eps_085,seconds,output_dir,n_trees,n_cores,rbar_tot,rbar_eff,eps,snr,eps_085_"
        "from,site_code,site_name,species,series_intercorrelation,flagged_segments,flagged_series\n";
    for (const BatchRow& r : rows) {
        for (const std::string* f :
             {&r.file, &r.series, &r.first_year, &r.last_year, &r.span, &r.mean_segment_length, &r.outcome,
              &r.iterations, &r.constant, &r.mean_rbar, &r.first_year_eps})
            out += csv_field(utf8_or_escaped(*f)) + ",";  // a file name need not be UTF-8
        out += fixed(r.seconds, 2) + "," + csv_field(utf8_or_escaped(r.output_dir));
        for (const std::string* f :
             {&r.n_trees, &r.n_cores, &r.rbar_tot, &r.rbar_eff, &r.eps, &r.snr, &r.eps_085_from})
            out += "," + *f;
        for (const std::string* f : {&r.site_code, &r.site_name, &r.species})
            out += "," + csv_field(utf8_or_escaped(*f));  // header text need not be UTF-8
        for (const std::string* f : {&r.series_intercorrelation, &r.flagged_segments, &r.flagged_series})
            out += "," + *f;
        out += "\n";
    }
    return out;
}

int run_batch(const BatchOptions& options, std::ostream& err) {
    RunPlan plan;
    try {
        plan = read_run_file({options.run_file, "", false});
    } catch (const RunFileError& e) {
        err << "kestrovan: " << e.what() << "\n";
        return 1;
    }
    if (plan.plots != "off" && options.out_dir.empty()) {
        err << "kestrovan: " << one_line(options.run_file) << ": plots = \"" << plan.plots
            << "\": a batch that draws plots needs --out DIR (each site's plots in its own directory)\n";
        return 1;
    }
    const int jobs =
        options.jobs > 0 ? options.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::vector<Site> sites;
    if (!plan_sites(options, sites, err)) return 1;
    const std::string dir = options.out_dir.empty() ? "." : options.out_dir;
    std::error_code ec;
    fs::create_directories(dir, ec);
    const std::string csv = dir + "/batch_summary.csv";
    for (const Site& s : sites)
        if (fs::exists(csv, ec) && fs::equivalent(csv, s.data, ec)) {
            err << "kestrovan: " << one_line(csv + " is the data file " + s.data + " under another name")
                << "\n";
            return 1;
        }

    const int failed = run_sites(options, jobs, sites, err);
    // The rows are kept until every site has ended, and the file takes its name only once
    // complete: a full disk or a stop never leaves a cut-off summary.
    std::vector<BatchRow> rows;
    for (const Site& s : sites) rows.push_back(s.row);
    std::string written_error;
    try {
        StagedOutputFile out(csv);
        out.stream() << batch_csv(rows);
        out.commit();
    } catch (const ProgramStop& stop) {
        written_error = stop.what();
    }
    // Always said, also when standard error is a file or a pipe: each site that did not
    // complete with its reason on one line, then how many did.
    for (const Site& s : sites)
        if (!s.row.completed) err << "kestrovan: " << one_line(s.data + ": " + s.row.outcome) << "\n";
    if (const int signal = stop_signal_received(); signal != 0)
        err << "kestrovan: the batch was stopped by " << signal_name(signal) << "\n";
    if (!written_error.empty()) {
        std::string finished;
        for (const Site& s : sites)
            if (s.row.completed) finished += (finished.empty() ? "" : ", ") + s.data;
        err << "kestrovan: " << one_line(written_error)
            << "; the sites that completed: " << one_line(finished.empty() ? "none" : finished) << "\n";
    }
    err << sites.size() - static_cast<std::size_t>(failed) << " of " << sites.size() << " sites completed"
        << (written_error.empty() ? "; " + one_line(csv) : std::string(" (no batch summary written)"))
        << "\n";
    return failed == 0 && written_error.empty() ? 0 : 1;
}

}  // namespace kestrovan
