// Fuzz target: run files (TOML), read as a batch reads them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "run_file_entry_point.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const std::string broken = kestrovan::fuzzing::run_run_file(data);
    if (!broken.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
