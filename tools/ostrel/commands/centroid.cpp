// ostrel centroid: the centroid of every geographic value (Centroid::
// Calculate), as longitude and latitude in degrees, in TSV or JSON.
//
// The library's centroid is the mean direction of a geography's vertices on
// the unit sphere (points, line coordinates, exterior rings without their
// closing coordinate): a vertex centroid, not an area-weighted one. It has
// no planar counterpart, so planar values are refused: with --geometry as a
// usage error, otherwise each one as a bad line. Values without vertices
// (empty values) have no centroid and give no record, as with envelope.

#include <cmath>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

#include "commands/commands.hpp"
#include "common/input.hpp"
#include "common/output.hpp"
#include "ostrel/core/angle.hpp"
#include "ostrel/operations/centroid.hpp"
#include "ostrel/spatial/geography.hpp"

namespace ostrel_tool {

namespace {

using ostrel::Spatial;

char const kPlanar[] =
    "centroid: not supported for planar values (read longitude latitude text with --geography)";

struct CentroidOptions {
  InputOptions input;
  std::string format = "tsv";
};

std::string Number(double d) {
  std::ostringstream os;
  os << std::setprecision(std::numeric_limits<double>::max_digits10) << d;
  return os.str();
}

double DegreesOf(ostrel::Radians r) { return ostrel::Degrees(r).Get(); }

int RunCentroid(CentroidOptions const& options) {
  if (options.input.geometry) {
    std::cerr << "ostrel: --geometry: " << kPlanar << '\n';
    return 2;
  }
  bool const is_json = options.format == "json" || options.format == "jsonl";
  JsonRecords json(std::cout, options.format == "json");
  if (is_json) {
    json.Begin();
  } else {
    std::cout << "file\tline\tlongitude\tlatitude\n";
  }
  ReadTotals const read = ReadValues(options.input, [&](Source const& source, Spatial const& v) {
    if (v.IsGeometry()) throw std::invalid_argument(kPlanar);
    if (!v.IsGeography()) return;
    ostrel::GeographyCoordinate const c = ostrel::Centroid::Calculate(v.AsGeography());
    if (!c.IsValid()) return;
    double const lon = DegreesOf(c.GetLongitude()), lat = DegreesOf(c.GetLatitude());
    if (is_json) {
      json.Add("{\"file\":" + JsonString(source.name) + ",\"line\":" + std::to_string(source.line) +
               ",\"centroid\":[" + Number(lon) + ',' + Number(lat) + "]}");
    } else {
      std::cout << TsvField(source.name) << '\t' << source.line << '\t' << Number(lon) << '\t'
                << Number(lat) << '\n';
    }
  });
  if (is_json) json.End();
  return Finish(read, options.input);
}

}  // namespace

Runner AddCentroid(CLI::App& app) {
  auto options = std::make_shared<CentroidOptions>();
  auto* command =
      app.add_subcommand("centroid", "The centroid of every geographic value, in degrees");
  AddInputOptions(*command, options->input);
  command->add_option("--format", options->format, "tsv, json (one array) or jsonl")
      ->check(CLI::IsMember({"tsv", "json", "jsonl"}))
      ->capture_default_str();
  command->footer(
      std::string(
          "One record per value: longitude and latitude in degrees (also with --radians).\n"
          "The centroid is the mean direction, on the unit sphere, of the value's vertices:\n"
          "its points, the coordinates of its lines and of its exterior rings (without the\n"
          "closing one; holes are not used). It is not weighted by length or area. Planar\n"
          "values have no centroid here: they are reported as bad lines (--geometry is a\n"
          "usage error); read plain lon/lat text with --geography. Values without vertices\n"
          "give no record.\n\n") +
      ExitStatusHelp());
  return [options, command] { return *command ? RunCentroid(*options) : -1; };
}

}  // namespace ostrel_tool
