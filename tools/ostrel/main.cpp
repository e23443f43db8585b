// ostrel: reads spatial values from OWKT text, one value per line, and
// describes them (info) or writes them back in normalised form (convert).
//
// A line that does not read is reported on standard error as FILE:LINE and
// what is wrong with it; the other lines are still processed, and the run
// ends with status 1. Usage errors end with status 2.
//
// Sizes are counted through the public shape ranges only (GetPoints,
// GetLines, GetPolys), so the figures are what any caller of the library
// sees, whatever the storage format of the value.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/text/owkt.hpp"

namespace {

using ostrel::CoordinateType;
using ostrel::ShapeType;
using ostrel::Spatial;

// How every subcommand that reads values reads them.
struct InputOptions {
  std::vector<std::string> files;
  bool geography = false;
  bool geometry = false;
  bool radians = false;

  // Unknown lets each value's attribute section decide its kind.
  CoordinateType Type() const {
    if (geography || radians) return CoordinateType::Geography;
    if (geometry) return CoordinateType::Geometry;
    return CoordinateType::Unknown;
  }
};

void AddInputOptions(CLI::App& app, InputOptions& options) {
  app.add_option("files", options.files,
                 "OWKT files, one value per line; '-' or none reads standard input");
  auto* geography = app.add_flag("--geography", options.geography,
                                 "read every value as geographic (longitude latitude, degrees)");
  auto* geometry = app.add_flag("--geometry", options.geometry, "read every value as planar");
  auto* radians = app.add_flag("--radians", options.radians,
                               "geographic coordinates are in radians (implies --geography)");
  geography->excludes(geometry);
  radians->excludes(geometry);
}

// Where a value came from: the path as given (or "<stdin>") and the 1-based
// line number.
struct Source {
  std::string name;
  std::uint64_t line = 0;
};

struct ReadResult {
  std::uint64_t failures = 0;  // lines that did not read
  bool file_error = false;     // an input that could not be opened or read
};

void Report(Source const& source, std::string const& problem) {
  std::cout.flush();  // keeps messages in order with the values already printed
  std::cerr << source.name << ':' << source.line << ": " << problem << '\n';
}

// Reads each input line by line and hands every value to `use`. Blank lines
// are skipped and a trailing carriage return is dropped, so files with CRLF
// line ends read like the others.
ReadResult ReadValues(InputOptions const& options,
                      std::function<void(Source const&, Spatial const&)> const& use) {
  std::vector<std::string> files = options.files;
  if (files.empty()) files.emplace_back("-");
  ReadResult result;
  std::string text;
  for (auto const& file : files) {
    bool from_stdin = file == "-";
    std::ifstream stream;
    if (!from_stdin) {
      stream.open(file);
      if (!stream) {
        std::cout.flush();
        std::cerr << "ostrel: cannot open " << file << ": " << std::strerror(errno) << '\n';
        result.file_error = true;
        continue;
      }
    }
    std::istream& in = from_stdin ? std::cin : stream;
    Source source{from_stdin ? "<stdin>" : file, 0};
    while (std::getline(in, text)) {
      ++source.line;
      if (!text.empty() && text.back() == '\r') text.pop_back();
      if (text.find_first_not_of(" \t") == std::string::npos) continue;
      ostrel::SpatialPtr value;
      try {
        value = ostrel::OWKT::From(text, options.Type(), options.radians);
      } catch (std::invalid_argument const& e) {  // a structure the format rejects
        Report(source, e.what());
      } catch (std::out_of_range const& e) {  // a latitude beyond +/-90 degrees
        Report(source, e.what());
      }
      if (value && value->IsUnknown()) {
        Report(source, "not valid OWKT");
        value.reset();
      }
      if (value) {
        use(source, *value);
      } else {
        ++result.failures;
      }
    }
    if (in.bad()) {  // a directory, or an I/O error part-way
      std::cout.flush();
      std::cerr << "ostrel: cannot read " << source.name << " after line " << source.line << ": "
                << std::strerror(errno) << '\n';
      result.file_error = true;
    }
  }
  return result;
}

// Checks that everything written reached standard output, and turns the
// outcome into the exit status.
int Finish(ReadResult const& result) {
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "ostrel: error writing standard output\n";
    return 1;
  }
  return result.failures > 0 || result.file_error ? 1 : 0;
}

// ---------------------------------------------------------------- info

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
  std::uint64_t head = std::numeric_limits<std::uint64_t>::max();
};

std::string JsonString(std::string const& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

// Text columns: fixed widths wide enough for every type and shape name and
// for counts up to a few million, so the output streams without buffering.
void PrintTextHeader() {
  std::cout << std::left << std::setw(11) << "type" << ' ' << std::setw(15) << "shape" << std::right
            << std::setw(8) << "points" << std::setw(7) << "lines" << std::setw(7) << "polys"
            << std::setw(7) << "rings" << std::setw(12) << "coordinates" << std::setw(21) << "hash"
            << "  source\n";
}

void PrintValue(std::string const& format, Source const& source, Spatial const& value,
                Counts const& n) {
  auto type = ostrel::to_string(value.GetCoordinateType());
  auto shape = ostrel::to_string(value.GetShapeType());
  auto hash = value.GetHash();
  if (format == "json") {
    std::cout << "{\"file\":" << JsonString(source.name) << ",\"line\":" << source.line
              << ",\"type\":\"" << type << "\",\"shape\":\"" << shape
              << "\",\"points\":" << n.points << ",\"lines\":" << n.lines
              << ",\"polys\":" << n.polys << ",\"rings\":" << n.rings << ",\"coordinates\":"
              << n.coordinates
              // A string: 64-bit hashes do not fit the doubles many JSON readers use.
              << ",\"hash\":\"" << hash << "\"}\n";
  } else if (format == "tsv") {
    std::cout << source.name << '\t' << source.line << '\t' << type << '\t' << shape << '\t'
              << n.points << '\t' << n.lines << '\t' << n.polys << '\t' << n.rings << '\t'
              << n.coordinates << '\t' << hash << '\n';
  } else {
    std::cout << std::left << std::setw(11) << type << ' ' << std::setw(15) << shape << std::right
              << std::setw(8) << n.points << std::setw(7) << n.lines << std::setw(7) << n.polys
              << std::setw(7) << n.rings << std::setw(12) << n.coordinates << std::setw(21) << hash
              << "  " << source.name << ':' << source.line << '\n';
  }
}

struct Totals {
  std::uint64_t values = 0;
  std::map<ShapeType, std::uint64_t> shapes;  // ordered by the enumeration's numbers
  Counts counts;
};

void PrintSummary(std::string const& format, Totals const& totals, std::uint64_t failures,
                  double seconds) {
  double rate = seconds > 0 ? static_cast<double>(totals.values) / seconds : 0;
  if (format == "json") {
    std::cout << "{\"summary\":{\"values\":" << totals.values << ",\"shapes\":{";
    char const* comma = "";
    for (auto const& [shape, count] : totals.shapes) {
      std::cout << comma << '"' << shape << "\":" << count;
      comma = ",";
    }
    Counts const& n = totals.counts;
    std::cout << "},\"points\":" << n.points << ",\"lines\":" << n.lines << ",\"polys\":" << n.polys
              << ",\"rings\":" << n.rings << ",\"coordinates\":" << n.coordinates
              << ",\"failures\":" << failures << ",\"seconds\":" << seconds
              << ",\"values_per_second\":" << std::fixed << std::setprecision(0) << rate << "}}\n";
    return;
  }
  // A tsv table stays one table: its summary goes to standard error.
  std::ostream& out = format == "tsv" ? std::cerr : std::cout;
  std::cout.flush();
  auto row = [&out](char const* label, std::uint64_t number) -> std::ostream& {
    return out << std::left << std::setw(12) << label << std::right << std::setw(10) << number;
  };
  row("values", totals.values) << "  ";
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
  row("failures", failures) << '\n';
  out << std::left << std::setw(12) << "elapsed" << std::right << std::fixed << std::setprecision(3)
      << std::setw(8) << seconds << " s  " << std::setprecision(0) << rate << " values/s\n";
}

int RunInfo(InfoOptions const& options) {
  auto start = std::chrono::steady_clock::now();
  Totals totals;
  if (options.format == "text") PrintTextHeader();
  if (options.format == "tsv") {
    std::cout << "file\tline\ttype\tshape\tpoints\tlines\tpolys\trings\tcoordinates\thash\n";
  }
  ReadResult result = ReadValues(options.input, [&](Source const& source, Spatial const& value) {
    Counts n = Count(value);
    if (totals.values < options.head) PrintValue(options.format, source, value, n);
    ++totals.values;
    ++totals.shapes[value.GetShapeType()];
    totals.counts += n;
  });
  if (options.format == "text" && totals.values > options.head) {
    std::cout << "... " << totals.values - options.head << " more values not shown\n";
  }
  if (options.summary) {
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    PrintSummary(options.format, totals, result.failures, elapsed.count());
  }
  return Finish(result);
}

// ---------------------------------------------------------------- convert

struct ConvertOptions {
  InputOptions input;
  std::string to;
};

int RunConvert(ConvertOptions const& options) {
  ReadResult result = ReadValues(options.input, [](Source const&, Spatial const& value) {
    std::cout << ostrel::OWKT::To(value) << '\n';
  });
  return Finish(result);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);

  CLI::App app{"Reads spatial values from OWKT text, one value per line.", "ostrel"};
  app.set_version_flag("--version", "ostrel " OSTREL_TOOL_VERSION);
  app.require_subcommand(1);
  std::string const exit_status =
      "Exit status: 0 when every line read, 1 when a line or a file failed (each reported on\n"
      "standard error as FILE:LINE: problem), 2 for a usage error.";
  app.footer(exit_status);

  InfoOptions info;
  auto* info_command =
      app.add_subcommand("info", "Print the kind, shape, part counts and hash of every value");
  AddInputOptions(*info_command, info.input);
  info_command
      ->add_option("--format", info.format,
                   "text (aligned columns), tsv (with a header line) or json (one object per line)")
      ->check(CLI::IsMember({"text", "tsv", "json"}))
      ->capture_default_str();
  info_command->add_flag("--summary", info.summary,
                         "print totals and timing after the values\n"
                         "(json: a last {\"summary\":...} line; tsv: on standard error)");
  info_command
      ->add_option("--head", info.head,
                   "print only the first N values\n(all are still read and counted)")
      ->type_name("N");

  ConvertOptions convert;
  auto* convert_command =
      app.add_subcommand("convert", "Write every value back as normalised text, one per line");
  AddInputOptions(*convert_command, convert.input);
  convert_command
      ->add_option("--to", convert.to,
                   "output format; owkt writes numbers with six significant digits,\n"
                   "so longer numbers are rounded")
      ->required()
      ->check(CLI::IsMember({"owkt"}));
  convert_command->footer(
      "A geographic value whose attributes are all defaults (WGS84, spheroidal, interior-left)\n"
      "is written as plain text, which reads back as planar: read it back with --geography.\n"
      "Winding orders other than interior-left and SR-ORG SRIDs are written in spellings the\n"
      "reader does not accept.\n\n" +
      exit_status);

  try {
    app.parse(argc, argv);
  } catch (CLI::ParseError const& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (*info_command) return RunInfo(info);
  return RunConvert(convert);
}
