#pragma once
// Work shared over the machine's cores, with no result changed by it: the thread count of a run
// and the running of one task per worker. Plain threads and nothing of the program, so that the
// numerical code below the console can share out its work too. Workers print nothing: what
// their work has to say goes into notices (model/notices.hpp) that the calling thread prints.
//
// - `worker_threads` decides how many threads the parallel parts of a run use: the value of the
//   environment variable KESTROVAN_THREADS when it is a whole number from 1 up, otherwise the
//   hardware's thread count (at least 1).
// - `run_workers` runs one task per worker, the first on the calling thread.
//
// Each worker owns its scratch; results are written to places no other worker touches, so the
// numbers do not depend on the number of threads.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace kestrovan {

// Upper bound of the thread count, whatever the setting says.
inline constexpr int kMaxWorkerThreads = 256;

// A thread count argument of this value means "as the environment says" (see worker_threads).
inline constexpr int kThreadsFromEnvironment = 0;

// The thread count a setting of KESTROVAN_THREADS gives: a whole number from 1 up (at most
// kMaxWorkerThreads); anything else (unset, empty, 0, negative, not a number) leaves the choice to
// the hardware's thread count, at least 1.
inline int worker_threads_from(const char* setting) {
    if (setting != nullptr) {
        std::string_view text(setting);
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        int value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && end == text.data() + text.size() && value >= 1)
            return std::min(value, kMaxWorkerThreads);
        if (error == std::errc::result_out_of_range && !text.empty() && text.front() != '-')
            return kMaxWorkerThreads;
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::clamp(static_cast<int>(hardware), 1, kMaxWorkerThreads);
}

// The thread count of this run: from KESTROVAN_THREADS or the hardware.
inline int worker_threads() { return worker_threads_from(std::getenv("KESTROVAN_THREADS")); }

// A requested count: kThreadsFromEnvironment (or any value below 1) asks worker_threads().
inline int resolve_threads(int requested) {
    return requested >= 1 ? std::min(requested, kMaxWorkerThreads) : worker_threads();
}

// Calls task(w) for w = 0 .. workers-1: task(0) on the calling thread, the others each on a
// thread of its own, and returns when all have returned. An exception that escapes a task is
// rethrown here after every thread has finished: that of the lowest w, the one a single thread
// going through the tasks in order would have met first. (A caller that copies what each task
// printed catches its tasks' exceptions itself, to deliver each after the task's messages.) When
// the system refuses a thread, its task runs on the calling thread instead.
template <class Task>
void run_workers(int workers, Task&& task) {
    const int n = std::max(workers, 1);
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(n));
    auto guarded = [&](int w) {
        try {
            task(w);
        } catch (...) {
            errors[static_cast<std::size_t>(w)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    std::vector<int> refused;
    threads.reserve(static_cast<std::size_t>(n - 1));
    for (int w = 1; w < n; ++w) {
        try {
            threads.emplace_back(guarded, w);
        } catch (const std::system_error&) {
            refused.push_back(w);
        }
    }
    guarded(0);
    for (int w : refused) guarded(w);
    for (std::thread& t : threads) t.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

// Splits [0, n) into `parts` contiguous ranges; range p is [bounds[p], bounds[p + 1]). With
// `weight` (one entry per item), the ranges carry about equal total weight; without, about equal
// item counts. Empty ranges are possible when there are fewer items than parts.
inline void split_ranges(int n, int parts, const std::vector<long long>* weight, std::vector<int>& bounds) {
    parts = std::max(parts, 1);
    bounds.assign(static_cast<std::size_t>(parts) + 1, n);
    bounds[0] = 0;
    if (weight == nullptr) {
        for (int p = 1; p < parts; ++p)
            bounds[static_cast<std::size_t>(p)] = static_cast<int>(static_cast<long long>(n) * p / parts);
        return;
    }
    long long total = 0;
    for (int i = 0; i < n; ++i) total += (*weight)[static_cast<std::size_t>(i)];
    long long running = 0;
    int p = 1;
    for (int i = 0; i < n && p < parts; ++i) {
        running += (*weight)[static_cast<std::size_t>(i)];
        while (p < parts && running * parts >= total * p) bounds[static_cast<std::size_t>(p++)] = i + 1;
    }
}

}  // namespace kestrovan
