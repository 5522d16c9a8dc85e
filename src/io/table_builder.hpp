#pragma once
// What the loaders of the data files share: the builder that collects the series as they are
// read and turns them into the Series table, and the small steps and messages of every loader.
// Internal to the io folder. Messages go into the read's notes (io/load_notes.hpp).
#include <algorithm>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "io/load_notes.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"
#include "model/series_table.hpp"

namespace kestrovan::detail {

inline constexpr const char* kContinue = "             Hit RETURN to Continue";

// Collects series as they are read and checks the table's limits where they enter; the
// matrix is built once at the end, sized to the longest series.
class TableBuilder {
public:
    explicit TableBuilder(LoadNotes& notes) : notes_(notes) {}

    int count() const { return static_cast<int>(ids_.size()); }
    long long values() const { return total_values_; }

    // False (message noted) when the series has no values, has years that the program's files
    // cannot hold, would pass a limit of the table, has a name that the Tucson lines of its years
    // cannot carry whole, or repeats a series added before (the same identifier, years and
    // values). `line` is the line of the file where the series begins, named in the messages;
    // `place`, when given, names it instead in the message about a repeat (a column of a table).
    bool add(std::string_view id, int first_year, std::span<const float> values, int line,
             const std::string& place = {}) {
        const std::string name = rtrim(id);
        const std::string series = "Series " + name + " (line " + std::to_string(line) + ")";
        if (count() >= kMaxSeries) {
            refuse("The file holds more than " + std::to_string(kMaxSeries) + " series, the limit: series " +
                   name + " (line " + std::to_string(line) + ") would be number " +
                   std::to_string(kMaxSeries + 1) + ".");
            return false;
        }
        const int n = static_cast<int>(values.size());
        if (n == 0) {
            refuse(series + " has no values.");
            return false;
        }
        if (n > kMaxYears) {
            refuse(series + " has " + std::to_string(n) + " values, more than " + std::to_string(kMaxYears) +
                   ", the limit per series.");
            return false;
        }
        const long long last = static_cast<long long>(first_year) + n - 1;
        if (first_year < kEarliestYear || last > kLatestYear) {
            refuse(series + " runs from " + std::to_string(first_year) + " to " + std::to_string(last) +
                   ": the program's files hold the years " + std::to_string(kEarliestYear) + " to " +
                   std::to_string(kLatestYear) + " only.");
            return false;
        }
        // The first series sets the summary's years: starting from 9999 and -9999 would leave
        // them there for series outside the four-digit years (the narrow layouts reach -99999).
        const long long earliest = count() == 0 ? first_year : std::min<long long>(earliest_, first_year);
        const long long latest = count() == 0 ? last : std::max<long long>(latest_, last);
        if (latest - earliest + 1 > kMaxYears) {
            refuse(series + " (" + std::to_string(first_year) + " to " + std::to_string(last) +
                   ") makes the data span " + std::to_string(latest - earliest + 1) + " years (" +
                   std::to_string(earliest) + " to " + std::to_string(latest) + "), more than " +
                   std::to_string(kMaxYears) + ", the limit.");
            return false;
        }
        // Ring-width lines of years before -999 carry 7 or 6 characters of the identifier: a
        // longer name would be cut in the files written (and two series could share what is left).
        const int width = ring_identifier_width(first_year);
        if (static_cast<int>(name.size()) > width) {
            refuse(series + " begins in " + std::to_string(first_year) +
                   ": a Tucson line of that year holds " + std::to_string(width) +
                   " characters of the identifier, and the files this program writes " +
                   "would cut the name " + name + ". Give it a name of at most " + std::to_string(width) +
                   " characters.");
            return false;
        }
        const std::string where = place.empty() ? "line " + std::to_string(line) : place;
        auto [it, fresh] = same_id_.try_emplace(name);
        if (!fresh) {
            // The same identifier again: a second segment of a series (kept, warned), or the same
            // series given twice, which would count twice in every mean (refused).
            for (const int earlier : it->second) {
                const auto e = static_cast<std::size_t>(earlier);
                if (years_[e].first == first_year &&
                    std::equal(values.begin(), values.end(), values_[e].begin(), values_[e].end())) {
                    refuse("Series " + name + " is given twice, with the same years and values: at " +
                           places_[e] + " and at " + where + ".");
                    return false;
                }
            }
            repeated_.push_back(name + " (lines " + std::to_string(first_line_[it->second.front()]) +
                                " and " + std::to_string(line) + ")");
        }
        it->second.push_back(count());
        first_line_.push_back(line);
        places_.push_back(where);
        earliest_ = static_cast<int>(earliest);
        latest_ = static_cast<int>(latest);
        ids_.push_back(fixed_width(id, 8));
        years_.push_back({first_year, static_cast<int>(last), n});
        values_.emplace_back(values.begin(), values.end());
        longest_ = std::max(longest_, n);
        total_values_ += n;
        return true;
    }

    // Multiplies every value of series s (0-based, in the order added) by `factor`.
    void scale(int s, float factor) {
        for (float& x : values_[static_cast<std::size_t>(s)]) x *= factor;
    }

    // Moves the series into the table and writes the summary slot; warns about identifiers
    // that more than one series carries (in the notes).
    void finish(SeriesTable& table) {
        const int ns = count();
        table.data.resize(0, 0);
        table.data.resize(std::max(longest_, 1), ns);
        for (int s = 0; s < ns; ++s) {
            auto col = table.data.column(s);
            std::copy(values_[static_cast<std::size_t>(s)].begin(),
                      values_[static_cast<std::size_t>(s)].end(), col.begin());
        }
        table.years = std::move(years_);
        table.ids = std::move(ids_);
        table.summary = {earliest_, latest_, latest_ - earliest_ + 1};
        table.mark_as_read();
        warn_repeated();
    }

private:
    void refuse(const std::string& what) {
        notes_.blank_line();
        notes_.refusal(what, 2);
    }

    void warn_repeated() {
        if (repeated_.empty()) return;
        notes_.blank_line();
        notes_.warning("WARNING: more than one series carries the same identifier:", 2);
        constexpr std::size_t kShown = 10;
        for (std::size_t i = 0; i < std::min(repeated_.size(), kShown); ++i) notes_.warning(repeated_[i], 10);
        if (repeated_.size() > kShown)
            notes_.warning("and " + std::to_string(repeated_.size() - kShown) + " more", 10);
        notes_.warning(
            "         They are kept as separate series; check that none was split by a damaged line.", 2);
    }

    LoadNotes& notes_;
    std::vector<std::string> ids_;
    std::vector<YearSpan> years_;
    std::vector<std::vector<float>> values_;
    std::unordered_map<std::string, std::vector<int>> same_id_;  // identifier -> the series carrying it
    std::vector<int> first_line_;                                // line where each series begins
    std::vector<std::string> places_;                            // where each series stands, for messages
    std::vector<std::string> repeated_;                          // identifiers met again, with both lines
    int earliest_ = 9999;
    int latest_ = -9999;
    int longest_ = 0;
    long long total_values_ = 0;
};

// Back to the start of the file, its end-of-file and failure states cleared.
inline void rewind(std::istream& file) {
    file.clear();
    file.seekg(0);
}

// The closing message of a read that failed, and its pause.
inline void not_read(LoadNotes& notes) {
    notes.blank_line();
    notes.message("Input data not read in successfully", 2);
    notes.pause(kContinue);
}

// The closing message of a read that succeeded.
inline void read_successfully(LoadNotes& notes) {
    notes.blank_line();
    notes.message("Input data read successfully", 2);
}

// The message for a file that gave no series; `lines` is the number of lines read.
inline void no_series(LoadNotes& notes, int lines) {
    notes.blank_line();
    notes.refusal("No series could be read from the data file (" + std::to_string(lines) +
                      " lines): check the file and its kind.",
                  2);
}

}  // namespace kestrovan::detail
