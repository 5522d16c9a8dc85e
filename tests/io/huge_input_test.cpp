// Huge files that are not data (2 GB of zero bytes, of random bytes, of repeated text lines) are
// refused after reading only their start, in every file kind: the reader must not walk or keep
// the whole file. The files are made on the fly by a stream buffer that counts what it hands out.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/stop.hpp"
#include "io/loaders.hpp"

using namespace kestrovan;

namespace {

enum class Fill { Zeros, RandomBytes, TextLines };

// A read-only, seekable stream buffer of `size` bytes whose content is a function of the
// position; `served` counts the bytes handed to the reader.
class GeneratedFile : public std::streambuf {
public:
    GeneratedFile(Fill fill, std::int64_t size) : fill_(fill), size_(size), buffer_(1 << 16) {}
    std::int64_t served() const { return served_; }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        return fill_from(next_);
    }
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        const std::int64_t here = next_ - (egptr() - gptr());
        const std::int64_t base = dir == std::ios_base::beg ? 0 : dir == std::ios_base::cur ? here : size_;
        return seekpos(pos_type(base + off), std::ios_base::in);
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode) override {
        const std::int64_t p = static_cast<std::int64_t>(pos);
        if (p < 0 || p > size_) return pos_type(off_type(-1));
        next_ = p;
        setg(buffer_.data(), buffer_.data(), buffer_.data());
        return pos;
    }

private:
    char byte_at(std::int64_t p) const {
        switch (fill_) {
            case Fill::Zeros: return '\0';
            case Fill::RandomBytes: {
                std::uint64_t x = static_cast<std::uint64_t>(p) * 0x9E3779B97F4A7C15ull;
                x ^= x >> 29;
                x *= 0xBF58476D1CE4E5B9ull;
                return static_cast<char>(x >> 56);
            }
            case Fill::TextLines: {
                static const std::string line = "this is not a ring width file at all, just words\n";
                return line[static_cast<std::size_t>(p % static_cast<std::int64_t>(line.size()))];
            }
        }
        return '\0';
    }
    int_type fill_from(std::int64_t p) {
        if (p >= size_) return traits_type::eof();
        const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size()), size_ - p);
        for (std::int64_t k = 0; k < n; ++k) buffer_[static_cast<std::size_t>(k)] = byte_at(p + k);
        setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
        next_ = p + n;
        served_ += n;
        return traits_type::to_int_type(buffer_[0]);
    }

    Fill fill_;
    std::int64_t size_;
    std::vector<char> buffer_;
    std::int64_t next_ = 0;
    std::int64_t served_ = 0;
};

}  // namespace

TEST(HugeInput, TwoGigabytesOfGarbageAreRefusedFromTheirStartInEveryFileKind) {
    constexpr std::int64_t kTwoGB = std::int64_t{2} << 30;
    // Answers: the file kind; for single columns no header lines; for multiple columns none, 3
    // columns and the sentinel; then returns for every pause.
    const std::array<std::string, 4> answers = {"1\n", "2\n", "3\n0\n", "4\n0\n3\n-999\n"};
    for (Fill fill : {Fill::Zeros, Fill::RandomBytes, Fill::TextLines}) {
        for (std::size_t kind = 0; kind < answers.size(); ++kind) {
            SCOPED_TRACE("fill " + std::to_string(static_cast<int>(fill)) + ", file kind " +
                         std::to_string(kind + 1));
            GeneratedFile source(fill, kTwoGB);
            std::istream file(&source);
            std::istringstream in(answers[kind] + std::string(20, '\n'));
            std::ostringstream out;
            Console console(in, out);
            SeriesTable table;
            std::array<std::string, 3> header;
            bool ok = true;
            try {
                ok = loaddat(console, file, table, header);
            } catch (const ProgramStop&) {
                ADD_FAILURE() << "the program stopped instead of refusing the file:\n" << out.str();
            }
            EXPECT_FALSE(ok) << out.str();
            // Refused from a few megabytes at most, with a message before the retry question.
            EXPECT_LT(source.served(), std::int64_t{16} << 20);
            const std::string shown = out.str();
            EXPECT_TRUE(shown.find("Input data not read in successfully") != std::string::npos ||
                        shown.find("WARNING: Fatal error reading data from input file.") != std::string::npos)
                << shown.substr(0, 4000);
        }
    }
}
