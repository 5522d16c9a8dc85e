// Fuzz target: Heidelberg files, loaded through the format menu.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "entry_points.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const std::string broken = kestrovan::fuzzing::run_loaddat(data, "6\n");
    if (!broken.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
