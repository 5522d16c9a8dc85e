#pragma once
// Run files: the TOML file that names every choice of a run (read with toml++). Reading checks
// everything that can be checked before anything runs; writing turns a plan (a session's
// answers, for --record) into a run file that reproduces it.
#include <stdexcept>
#include <string>
#include <string_view>

#include "io/text_fields.hpp"
#include "run/run_plan.hpp"

namespace kestrovan {

// A run file that cannot be used; the message names the file, the key, its value and what is
// allowed.
class RunFileError : public std::runtime_error {
public:
    // The message is kept to one line: control characters in it (a newline in a file name) are
    // escaped.
    explicit RunFileError(const std::string& what) : std::runtime_error(one_line(what)) {}
};

// The PLplot devices a run file may name in `plots`: file devices that work without a display.
inline constexpr const char* kRunFileDevices[] = {"pngcairo", "svg", "svgcairo", "pdfcairo", "psc"};
// True when `name` is one of kRunFileDevices and this PLplot has it.
bool run_file_device(std::string_view name);

struct RunFileRequest {
    std::string path;       // the run file
    std::string data;       // a data file in place of the file's "data" key ("" = the key's)
    bool need_data = true;  // false: a run file without data (batch), no file checked
};

// Reads and checks a run file. Every key must be known, of its type and in its range, keys that
// the choices do not use must keep their defaults, and the options the answers give must pass
// the options' validate(): a combination the dialogue would refuse is refused. The data file
// (relative names are taken in the run file's directory) and the pith file must be readable.
// Throws RunFileError.
RunPlan read_run_file(const RunFileRequest& request);
// The same on the text of a run file; `name` is used in the messages, `dir` is where relative
// data names are taken.
RunPlan parse_run_file(const std::string& text, const std::string& name, const std::string& dir,
                       const RunFileRequest& request);

// The pith file of `pattern` for the data file `data`: "{base}" stands for the data file's own
// name up to its first full stop; a relative name is taken in the data file's directory.
std::string resolve_pith(const std::string& pattern, const std::string& data);

// A TOML basic string of `s`: quoted, with quotes, backslashes and control characters escaped
// (also how the messages show a text value).
std::string toml_string(const std::string& s);
// A value as the run file writes it ("" for none).
std::string toml_text(const PlanValue& value);

// Refuses (RunFileError, naming the line) a run file whose text holds a dotted key of more parts
// than the TOML parser can take without exhausting the stack; `name` is used in the message.
void check_key_depth(const std::string& text, const std::string& name);

// The first line of every run file the program writes (--record tells its own files by it).
inline constexpr const char* kRunFileFirstLine = "# Kestrovan run file: kestrovan run FILE.toml";

// The run file of a plan: every key its choices use, with [[retry]] tables for later attempts
// that differ from the first. The data file is named relative to `dir` (the run file's
// directory), the pith file relative to the data file's directory.
std::string run_file_text(const RunPlan& plan, const std::string& dir);

}  // namespace kestrovan
