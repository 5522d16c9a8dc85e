#pragma once
// Stop signals (SIGINT, SIGTERM). The handler only records which signal came; the program reads
// it at safe points (a console line, an answer read, the batch's wait for its sites) and ends
// there the way every stop ends, so that the report is closed with how the run stopped and the
// files being written are removed.
#include <string>

namespace kestrovan {

// Installs the handler for SIGINT and SIGTERM. Without SA_RESTART: a read of an answer or a wait
// that the signal interrupts returns at once, so that it is seen without delay.
void catch_stop_signals();

// The stop signal received (SIGINT or SIGTERM), 0 when none has come.
int stop_signal_received();

// "SIGINT", "SIGTERM", or "signal N".
std::string signal_name(int signal);

}  // namespace kestrovan
