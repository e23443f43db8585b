// ostrel info: the kind, shape, part counts and hash of every value, how it
// was read (the input form, the storage format the reader built, the SRID,
// and why the reader chose that family and SRID), and with --summary the
// totals, failures, values that lost Z or M, and timing.
//
// Sizes are counted through the public shape ranges only (GetPoints,
// GetLines, GetPolys), so the figures are what any caller of the library
// sees, whatever the storage format of the value.

#include <chrono>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <limits>
#include <map>
#include <sstream>
#include <string>

#include "commands/commands.hpp"
#include "common/forms.hpp"
#include "common/input.hpp"
#include "common/output.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"

namespace ostrel_tool {

namespace {

using ostrel::ShapeType;
using ostrel::Spatial;

struct Counts {
  std::uint64_t points = 0;
  std::uint64_t lines = 0;
  std::uint64_t polys = 0;
  std::uint64_t rings = 0;
  std::uint64_t coordinates = 0;

  Counts& operator+=(Counts const& other) {
    points += other.points;
    lines += other.lines;
    polys += other.polys;
    rings += other.rings;
    coordinates += other.coordinates;
    return *this;
  }
};

template <class C>
Counts CountShape(ostrel::Shape<C> const& shape) {
  Counts n;
  n.points = shape.GetPoints().size();
  n.coordinates = n.points;
  for (auto const& line : shape.GetLines()) {
    ++n.lines;
    n.coordinates += line.size();
  }
  for (auto const& poly : shape.GetPolys()) {
    ++n.polys;
    for (auto const& ring : poly) {
      ++n.rings;
      n.coordinates += ring.size();
    }
  }
  return n;
}

Counts Count(Spatial const& value) {
  if (value.IsGeometry()) return CountShape(value.AsGeometry());
  if (value.IsGeography()) return CountShape(value.AsGeography());
  return {};  // an Identifying value has no coordinates
}

struct InfoOptions {
  InputOptions input;
  std::string format = "text";
  bool summary = false;
  std::int64_t head = std::numeric_limits<std::int64_t>::max();
};

// Text columns: fixed widths wide enough for every type and shape name and
// for counts up to a few million, so the output streams without buffering.
void PrintTextHeader() {
  std::cout << std::left << std::setw(11) << "type" << ' ' << std::setw(15) << "shape" << std::right
            << std::setw(8) << "points" << std::setw(7) << "lines" << std::setw(7) << "polys"
            << std::setw(7) << "rings" << std::setw(12) << "coordinates" << std::setw(21) << "hash"
            << "  " << std::left << std::setw(10) << "form" << std::setw(8) << "format"
            << std::setw(17) << "srid" << std::setw(48) << "why" << std::right << " source\n";
}

// How a value was read: the columns after the hash.
struct Reading {
  char const* form;
  char const* format;
  std::string srid;
};

Reading ReadingOf(Source const& source, Spatial const& value) {
  bool const coordinates = value.IsGeometry() || value.IsGeography();
  return {FormName(source.form), StorageFormat(value),
          coordinates ? ostrel::to_string(OriginalSrid(value)) : std::string("-")};
}

std::string JsonValue(Source const& source, Spatial const& value, Counts const& n) {
  std::ostringstream os;
  os << "{\"file\":" << JsonString(source.name) << ",\"line\":" << source.line << ",\"type\":\""
     << ostrel::to_string(value.GetCoordinateType()) << "\",\"shape\":\""
     << ostrel::to_string(value.GetShapeType()) << "\",\"points\":" << n.points
     << ",\"lines\":" << n.lines << ",\"polys\":" << n.polys << ",\"rings\":" << n.rings
     << ",\"coordinates\":"
     << n.coordinates
     // A string: 64-bit hashes do not fit the doubles many JSON readers use.
     << ",\"hash\":\"" << value.GetHash() << '"';
  Reading const r = ReadingOf(source, value);
  os << ",\"form\":\"" << r.form << "\",\"format\":\"" << r.format
     << "\",\"srid\":" << JsonString(r.srid) << ",\"why\":" << JsonString(source.why) << '}';
  return os.str();
}

void PrintValue(std::string const& format, Source const& source, Spatial const& value,
                Counts const& n) {
  auto type = ostrel::to_string(value.GetCoordinateType());
  auto shape = ostrel::to_string(value.GetShapeType());
  Reading const r = ReadingOf(source, value);
  if (format == "tsv") {
    std::cout << TsvField(source.name) << '\t' << source.line << '\t' << type << '\t' << shape
              << '\t' << n.points << '\t' << n.lines << '\t' << n.polys << '\t' << n.rings << '\t'
              << n.coordinates << '\t' << value.GetHash() << '\t' << r.form << '\t' << r.format
              << '\t' << r.srid << '\t' << TsvField(source.why) << '\n';
  } else {
    // The source stays the last column, so the columns before it align
    // whatever the length of the file names.
    std::cout << std::left << std::setw(11) << type << ' ' << std::setw(15) << shape << std::right
              << std::setw(8) << n.points << std::setw(7) << n.lines << std::setw(7) << n.polys
              << std::setw(7) << n.rings << std::setw(12) << n.coordinates << std::setw(21)
              << value.GetHash() << "  " << std::left << std::setw(10) << r.form << std::setw(8)
              << r.format << std::setw(17) << r.srid << std::setw(48) << source.why << std::right
              << ' ' << source.name << ':' << source.line << '\n';
  }
}

struct Totals {
  std::map<ShapeType, std::uint64_t> shapes;  // ordered by the enumeration's numbers
  Counts counts;
};

std::string JsonSummary(Totals const& totals, ReadTotals const& read, double seconds) {
  std::ostringstream os;
  double const rate = seconds > 0 ? static_cast<double>(read.values) / seconds : 0;
  os << "{\"summary\":{\"values\":" << read.values << ",\"shapes\":{";
  char const* comma = "";
  for (auto const& [shape, count] : totals.shapes) {
    os << comma << '"' << shape << "\":" << count;
    comma = ",";
  }
  Counts const& n = totals.counts;
  os << "},\"points\":" << n.points << ",\"lines\":" << n.lines << ",\"polys\":" << n.polys
     << ",\"rings\":" << n.rings << ",\"coordinates\":" << n.coordinates
     << ",\"failures\":" << read.Failures() << ",\"bad_lines\":" << read.bad_lines
     << ",\"bad_files\":" << read.bad_files << ",\"lost_z_or_m\":" << read.lost_ordinates
     << ",\"bytes\":" << read.bytes << ",\"seconds\":" << seconds
     << ",\"values_per_second\":" << std::fixed << std::setprecision(0) << rate << "}}";
  return os.str();
}

void PrintTextSummary(std::ostream& out, Totals const& totals, ReadTotals const& read,
                      double seconds) {
  double const rate = seconds > 0 ? static_cast<double>(read.values) / seconds : 0;
  auto row = [&out](char const* label, std::uint64_t number) -> std::ostream& {
    return out << std::left << std::setw(12) << label << std::right << std::setw(10) << number;
  };
  row("values", read.values) << "  ";
  char const* comma = "";
  for (auto const& [shape, count] : totals.shapes) {
    out << comma << shape << ' ' << count;
    comma = ", ";
  }
  out << '\n';
  row("points", totals.counts.points) << '\n';
  row("lines", totals.counts.lines) << '\n';
  row("polys", totals.counts.polys) << '\n';
  row("rings", totals.counts.rings) << '\n';
  row("coordinates", totals.counts.coordinates) << '\n';
  row("failures", read.Failures())
      << "  (" << read.bad_lines << " lines, " << read.bad_files << " files)\n";
  row("lost-zm", read.lost_ordinates) << "  values whose Z or M numbers were dropped\n";
  out << std::left << std::setw(12) << "elapsed" << std::right << std::fixed << std::setprecision(3)
      << std::setw(10) << seconds << " s  " << std::setprecision(0) << rate << " values/s, "
      << std::setprecision(1) << static_cast<double>(read.bytes) / 1e6 / (seconds > 0 ? seconds : 1)
      << " MB/s\n";
  out.unsetf(std::ios::floatfield);
}

int RunInfo(InfoOptions const& options) {
  auto const start = std::chrono::steady_clock::now();
  auto const head = static_cast<std::uint64_t>(options.head);
  bool const json = options.format == "json" || options.format == "jsonl";
  JsonRecords records(std::cout, options.format == "json");
  Totals totals;
  if (options.format == "text") PrintTextHeader();
  if (options.format == "tsv") {
    std::cout << "file\tline\ttype\tshape\tpoints\tlines\tpolys\trings\tcoordinates\thash"
                 "\tform\tformat\tsrid\twhy\n";
  }
  if (json) records.Begin();
  std::uint64_t shown = 0;
  ReadTotals const read =
      ReadValues(options.input, [&](Source const& source, Spatial const& value) {
        Counts const n = Count(value);
        if (shown < head) {
          ++shown;
          if (json) {
            records.Add(JsonValue(source, value, n));
          } else {
            PrintValue(options.format, source, value, n);
          }
        }
        ++totals.shapes[value.GetShapeType()];
        totals.counts += n;
      });
  std::chrono::duration<double> const elapsed = std::chrono::steady_clock::now() - start;
  if (options.summary && json) records.Add(JsonSummary(totals, read, elapsed.count()));
  if (json) records.End();
  if (read.values > shown) {
    std::cout.flush();
    std::cerr << "... " << read.values - shown << " more values not shown (--head " << options.head
              << ")\n";
  }
  if (options.summary && !json) {
    // A tsv table stays one table: its summary goes to standard error.
    std::cout.flush();
    PrintTextSummary(options.format == "tsv" ? std::cerr : std::cout, totals, read,
                     elapsed.count());
  }
  return Finish(read, options.input);
}

}  // namespace

Runner AddInfo(CLI::App& app) {
  auto options = std::make_shared<InfoOptions>();
  auto* command = app.add_subcommand(
      "info", "Print the kind, shape, part counts and hash of every value, and how it was read");
  AddInputOptions(*command, options->input);
  command
      ->add_option("--format", options->format,
                   "text (aligned columns), tsv (with a header line), json (one document:\n"
                   "an array of objects) or jsonl (one object per line)")
      ->check(CLI::IsMember({"text", "tsv", "json", "jsonl"}))
      ->capture_default_str();
  command->add_flag("--summary", options->summary,
                    "print totals, failures, values that lost Z or M, and timing after the\n"
                    "values (json, jsonl: a last {\"summary\":...} object; tsv: on standard "
                    "error)");
  command
      ->add_option("--head", options->head,
                   "print only the first N values\n(all are still read and counted)")
      ->check(NonNegative())
      ->type_name("N");
  command->footer(
      std::string("After the hash: the form the line was read as, the storage format of the value\n"
                  "the reader built (default, legacy or ogr), its original SRID, and why the\n"
                  "reader chose its family and SRID (for example \"SRID 4326 in the geography\n"
                  "range [4120, 5000)\"); text output keeps the source last.\n\n") +
      ExitStatusHelp());
  return [options, command] { return *command ? RunInfo(*options) : -1; };
}

}  // namespace ostrel_tool
