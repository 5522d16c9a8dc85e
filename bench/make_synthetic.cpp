// Writes a synthetic ring-width set as a Tucson file (and optionally its pith offsets):
//   make_synthetic --series N --years Y --seed S --out FILE [--pith FILE]
//                  [--first-year Y0] [--min-length L] [--max-length L] [--max-pith P]
// Sets are deterministic: the same arguments give the same files byte for byte.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "support/synthetic.hpp"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: make_synthetic --series N --years Y --seed S --out FILE [--pith FILE]\n"
                 "                      [--first-year Y0] [--min-length L] [--max-length L] [--max-pith P]\n"
                 "  N 1..4500 series within a span of Y 1..5000 years starting at Y0 (default 1000);\n"
                 "  with --pith, offsets 0..P (default 100) are drawn and written one per line.\n");
    return 2;
}

template <class T>
bool number(const char* text, T& out) {
    const char* end = text + std::strlen(text);
    auto [p, ec] = std::from_chars(text, end, out);
    return ec == std::errc() && p == end;
}

}  // namespace

int main(int argc, char** argv) {
    kestrovan::synthetic::Options o;
    std::string out, pith;
    bool have_series = false, have_years = false, have_pith_max = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i + 1 >= argc) return usage();
        const char* value = argv[++i];
        bool ok = true;
        if (arg == "--series")
            ok = have_series = number(value, o.series);
        else if (arg == "--years")
            ok = have_years = number(value, o.years);
        else if (arg == "--seed")
            ok = number(value, o.seed);
        else if (arg == "--first-year")
            ok = number(value, o.first_year);
        else if (arg == "--min-length")
            ok = number(value, o.min_length);
        else if (arg == "--max-length")
            ok = number(value, o.max_length);
        else if (arg == "--max-pith")
            ok = have_pith_max = number(value, o.max_pith_offset);
        else if (arg == "--out")
            out = value;
        else if (arg == "--pith")
            pith = value;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "make_synthetic: bad argument %s %s\n", argv[i - 1], value);
            return usage();
        }
    }
    if (!have_series || !have_years || out.empty()) return usage();
    if (!pith.empty() && !have_pith_max) o.max_pith_offset = 100;
    try {
        const auto set = kestrovan::synthetic::generate(o);
        kestrovan::synthetic::write_files(set, out, pith);
        long long values = 0;
        for (const auto& s : set.series) values += static_cast<long long>(s.widths.size());
        std::printf("make_synthetic: %s: %d series, %lld values, years %d to %d%s%s\n", out.c_str(), o.series,
                    values, o.first_year, o.first_year + o.years - 1,
                    pith.empty() ? "" : "; pith offsets in ", pith.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_synthetic: %s\n", e.what());
        return 1;
    }
    return 0;
}
