// Fuzz target: Tucson chronology files (mode "ir"), read series by series and loaded whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "entry_points.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const std::string broken = kestrovan::fuzzing::run_trrw(data, "ir");
    if (!broken.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
