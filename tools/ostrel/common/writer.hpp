// The output forms of the subcommands that write values (convert, collect,
// simplify): --to FORM and --digits N, and one call that writes a value as
// one line of that form.
//
// OWKT is written lossless by default: it reads back, without --geography
// or --geometry, as a value of the same kind, attributes, coordinates and
// hash. --digits N writes the library's classic text with N significant
// digits instead (--digits 6 is exactly OWKT::To).
#pragma once

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <string>
#include <vector>

#include "ostrel/spatial/spatial.hpp"

namespace ostrel_tool {

struct OutputOptions {
  std::string to = "owkt";
  int digits = 0;  // 0: lossless

  // Values written in a form that does not read back as they were (only
  // with --digits); reported by Report().
  std::uint64_t changed = 0;
};

// The forms --to accepts.
std::vector<std::string> const& OutputForms();

// Adds --to and --digits to a subcommand.
void AddOutputOptions(CLI::App& app, OutputOptions& options);

// One line of the chosen form for `value`, without the line feed. Throws
// std::exception with a message when the form cannot hold the value.
std::string WriteValue(OutputOptions& options, ostrel::Spatial const& value);

// The notes at the end of a run: how many values were written in a form
// that does not read back as they were.
void Report(OutputOptions const& options);

}  // namespace ostrel_tool
