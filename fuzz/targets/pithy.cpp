// Fuzz target: the pith-offset dialogue and reader, with the single-column method and with a
// record format taken from the first line of the input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pithy_entry_point.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const std::string path = "/tmp/kv-pith-" + std::to_string(getpid()) + ".txt";
    const std::string broken = kestrovan::fuzzing::run_pithy(data, path);
    if (!broken.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
