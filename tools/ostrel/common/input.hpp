// The shared input layer of the ostrel subcommands: files (plain, gzip or
// standard input) read line by line, one value per line in one of the forms
// of forms.hpp (OWKT unless --from says otherwise or the first line looks
// like another form), with every line that does not give a value reported
// as FILE:LINE:COLUMN: why.
//
// What a line is: the bytes up to a line feed; a UTF-8 byte-order mark at
// the start of a file and blanks, tabs and a carriage return at either end
// are ignored, and a line left empty is skipped (but still counted, so
// line numbers are those an editor shows). Columns count bytes of the line
// as it is in the file, from 1.
//
// A line is bad when it contains a NUL byte, when it does not parse, when
// reading it throws (a latitude beyond 90 degrees, a structure the format
// rejects), or when it loses something (a number that overflows, text after
// the value that the reader would ignore): the library's diagnosis says where
// and why. In the other forms a line is bad when it is not hexadecimal (the
// binary forms), when the reader throws (its message is the reason), when
// the reader gives an Unknown value for what it does not support (a legacy
// stream of an Unknown value aside, which is a value), or when the family
// the reader chose is not the one --geography or --geometry asks for.
//
// Families and SRIDs: OWKT decides by its attribute section unless a kind is
// forced; EWKT and EWKB read a value with an SRID as geographic; SQL Server
// and Oracle as geographic when the SRID lies in [4120, 5000); a legacy
// stream by its category byte. Plain WKT and WKB carry neither: they read as
// --geography or --geometry says, else by the range rule on --srid, else as
// planar. --srid N gives the SRID EPSG:N to values whose line carries none
// (OWKT without an SRID attribute, WKT, WKB, a legacy stream; EWKT and EWKB
// read as if the line carried it); SQL Server and Oracle lines always carry
// one. At most `max_errors` bad lines are reported; the others are
// counted and the count is reported at the end.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/forms.hpp"
#include "ostrel/core/enumerations.hpp"
#include "ostrel/spatial/spatial.hpp"

namespace ostrel_tool {

// How every subcommand that reads values reads them.
struct InputOptions {
  std::vector<std::string> files;
  bool geography = false;
  bool geometry = false;
  bool radians = false;
  std::int64_t max_errors = 20;
  std::string from;        // empty: guessed from the first non-empty line of each file
  std::int64_t srid = -1;  // -1: not given

  // Unknown lets each value's attribute section decide its kind.
  ostrel::CoordinateType Type() const;
};

// Accepts a whole number of 0 or more, with a message that says so.
CLI::Validator const& NonNegative();

// Adds FILE... --from --geography --geometry --radians --srid --max-errors to
// a subcommand.
void AddInputOptions(CLI::App& app, InputOptions& options);

// Where a value came from: the path as given (or "<stdin>") and the 1-based
// line number; and how it was read: the form, and why the reader chose the
// value's family and SRID (for example "SRID 4326 in the geography range
// [4120, 5000)").
struct Source {
  std::string name;
  std::uint64_t line = 0;
  Form form = Form::Owkt;
  std::string why;
};

struct ReadTotals {
  std::uint64_t values = 0;
  std::uint64_t bad_lines = 0;
  std::uint64_t bad_files = 0;       // missing, a directory, unreadable, corrupt gzip
  std::uint64_t lost_ordinates = 0;  // values whose Z or M numbers were read and dropped
  std::uint64_t bytes = 0;           // input bytes read (uncompressed)

  std::uint64_t Failures() const { return bad_lines + bad_files; }
};

// Reads every input and hands each value to `use`. Progress is shown on
// standard error while it is a terminal; `use` must call HideProgress()
// before it writes to standard output or standard error. When `use` throws a
// std::exception, the value is reported and counted as a bad line with the
// exception's message.
ReadTotals ReadValues(InputOptions const& options,
                      std::function<void(Source const&, ostrel::Spatial const&)> const& use);

// Erases the progress line if one is shown.
void HideProgress();

// Flushes standard output, checks that everything reached it, reports the
// bad lines not shown, and turns the outcome into the exit status (0 all
// read, 1 a line or a file failed or output failed).
int Finish(ReadTotals const& totals, InputOptions const& options);

}  // namespace ostrel_tool
