// The output forms of the subcommands that write values (convert, collect,
// simplify): --to FORM, --digits N and --precision P, and one call that
// writes a value as one line of that form (see forms.hpp; binary forms as
// hexadecimal).
//
// OWKT is written lossless by default: it reads back, without --geography
// or --geometry, as a value of the same kind, attributes, coordinates and
// hash. --digits N writes the library's classic text with N significant
// digits instead (--digits 6 is exactly OWKT::To).
//
// Every other form is checked by reading what was written back with the
// library's reader (as the value's own family for WKT and WKB, which do not
// say it). A value the form cannot hold is refused with the reason, never
// written: one the reader rejects or gives back as Unknown, of another
// family, shape type or number of points, lines, polygons or rings, or
// whose SRID number the form carries but would change (a geography whose
// SRID is not EPSG in EWKT/EWKB, a planar value with an SRID there, an SRID
// on the wrong side of [4120, 5000) for SQL Server and Oracle). What a form
// changes by its nature (digits, densified edges, oriented rings, the
// compressed grid, attributes it has no place for) is counted, and
// Report() notes it.
#pragma once

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <string>
#include <vector>

#include "ostrel/spatial/spatial.hpp"

namespace ostrel_tool {

struct OutputOptions {
  std::string to = "owkt";
  int digits = 0;     // 0: lossless
  int precision = 7;  // the power of ten of legacy-compressed's grid

  // Values written in a form that does not read back as they were (OWKT
  // with --digits, or another form that read back with another hash), and
  // geographic values written in a form that does not say so; reported by
  // Report().
  std::uint64_t changed = 0;
  std::uint64_t family_unsaid = 0;
};

// The forms --to accepts.
std::vector<std::string> const& OutputForms();

// Adds --to, --digits and --precision to a subcommand.
void AddOutputOptions(CLI::App& app, OutputOptions& options);

// One line of the chosen form for `value`, without the line feed. Throws
// std::exception with a message when the form cannot hold the value.
std::string WriteValue(OutputOptions& options, ostrel::Spatial const& value);

// The notes at the end of a run: how many values were written in a form
// that does not read back as they were.
void Report(OutputOptions const& options);

}  // namespace ostrel_tool
