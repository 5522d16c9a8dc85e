#include "console/signals.hpp"

#include <signal.h>

#include <csignal>

namespace kestrovan {

namespace {

// The one piece of global mutable state in the program: a signal handler can reach nothing but a
// variable of static storage of this type.
volatile std::sig_atomic_t g_stop_signal = 0;

void record_stop_signal(int signal) { g_stop_signal = signal; }

}  // namespace

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = record_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM}) sigaction(signal, &action, nullptr);
}

int stop_signal_received() { return g_stop_signal; }

std::string signal_name(int signal) {
    if (signal == SIGINT) return "SIGINT";
    if (signal == SIGTERM) return "SIGTERM";
    return "signal " + std::to_string(signal);
}

}  // namespace kestrovan
