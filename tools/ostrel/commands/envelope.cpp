// ostrel envelope: the bounding box of every part of every value.
//
// One record per point, line and polygon (in that order, as
// Envelope::Calculate returns them), or with --whole one per value: the
// union of its parts' boxes. Planar boxes are (min x, min y, max x, max y);
// geographic ones (west, south, east, north) in degrees, where west > east
// means the box runs across the antimeridian. Values without parts
// (Unknown, Identifying, empty values) give no record.

#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "commands/commands.hpp"
#include "common/input.hpp"
#include "common/output.hpp"
#include "ostrel/core/angle.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/operations/envelope.hpp"

namespace ostrel_tool {

namespace {

using ostrel::Spatial;

struct EnvelopeOptions {
  InputOptions input;
  std::string format = "tsv";
  bool whole = false;
};

struct Box {
  char const* part;  // point, line, polygon, value
  unsigned int index;
  double x1, y1, x2, y2;
};

double DegreesOf(ostrel::Radians r) { return ostrel::Degrees(r).Get(); }

std::vector<Box> PlanarBoxes(ostrel::Geometry const& g, bool whole) {
  auto const boxes = ostrel::Envelope::Calculate(g);
  unsigned int const points = g.GetPoints().size(), lines = g.GetLines().size();
  std::vector<Box> out;
  ostrel::RectangularBounds all;
  for (unsigned int k = 0; k < boxes.size(); ++k) {
    auto const& [lo, hi] = boxes[k];
    if (whole) {
      all = all.Union(ostrel::RectangularBounds(lo.GetX(), lo.GetY(), hi.GetX(), hi.GetY()));
      continue;
    }
    char const* part = k < points ? "point" : k < points + lines ? "line" : "polygon";
    unsigned int const index = k < points           ? k
                               : k < points + lines ? k - points
                                                    : k - points - lines;
    out.push_back({part, index, lo.GetX(), lo.GetY(), hi.GetX(), hi.GetY()});
  }
  if (whole && !boxes.empty()) {
    out.push_back({"value", 0, all.GetMinX(), all.GetMinY(), all.GetMaxX(), all.GetMaxY()});
  }
  return out;
}

std::vector<Box> GeographicBoxes(ostrel::Geography const& g, bool whole) {
  auto const boxes = ostrel::Envelope::Calculate(g);
  unsigned int const points = g.GetPoints().size(), lines = g.GetLines().size();
  std::vector<Box> out;
  ostrel::SphericalTrapezoidBounds all;
  auto add = [&](char const* part, unsigned int index, ostrel::GeographyCoordinate const& sw,
                 ostrel::GeographyCoordinate const& ne) {
    out.push_back({part, index, DegreesOf(sw.GetLongitude()), DegreesOf(sw.GetLatitude()),
                   DegreesOf(ne.GetLongitude()), DegreesOf(ne.GetLatitude())});
  };
  for (unsigned int k = 0; k < boxes.size(); ++k) {
    auto const& [sw, ne] = boxes[k];
    if (whole) {
      ostrel::SphericalTrapezoidBounds const b(sw, ne);
      all = k == 0 ? b : all.Union(b);
      continue;
    }
    char const* part = k < points ? "point" : k < points + lines ? "line" : "polygon";
    unsigned int const index = k < points           ? k
                               : k < points + lines ? k - points
                                                    : k - points - lines;
    add(part, index, sw, ne);
  }
  if (whole && !boxes.empty()) add("value", 0, all.GetSouthWest(), all.GetNorthEast());
  return out;
}

std::string Number(double d) {
  std::ostringstream os;
  os << std::setprecision(std::numeric_limits<double>::max_digits10) << d;
  return os.str();
}

int RunEnvelope(EnvelopeOptions const& options) {
  JsonRecords json(std::cout, options.format == "json");
  bool const is_json = options.format == "json" || options.format == "jsonl";
  if (is_json) {
    json.Begin();
  } else {
    std::cout << "file\tline\tkind\tpart\tindex\tx1\ty1\tx2\ty2\n";
  }
  ReadTotals const read = ReadValues(options.input, [&](Source const& source, Spatial const& v) {
    std::vector<Box> boxes;
    if (v.IsGeometry()) boxes = PlanarBoxes(v.AsGeometry(), options.whole);
    if (v.IsGeography()) boxes = GeographicBoxes(v.AsGeography(), options.whole);
    char const* kind = v.IsGeography() ? "Geography" : "Geometry";
    for (Box const& b : boxes) {
      if (is_json) {
        std::ostringstream os;
        os << "{\"file\":" << JsonString(source.name) << ",\"line\":" << source.line
           << ",\"kind\":\"" << kind << "\",\"part\":\"" << b.part << "\",\"index\":" << b.index
           << ",\"box\":[" << Number(b.x1) << ',' << Number(b.y1) << ',' << Number(b.x2) << ','
           << Number(b.y2) << "]}";
        json.Add(os.str());
      } else {
        std::cout << TsvField(source.name) << '\t' << source.line << '\t' << kind << '\t' << b.part
                  << '\t' << b.index << '\t' << Number(b.x1) << '\t' << Number(b.y1) << '\t'
                  << Number(b.x2) << '\t' << Number(b.y2) << '\n';
      }
    }
  });
  if (is_json) json.End();
  return Finish(read, options.input);
}

}  // namespace

Runner AddEnvelope(CLI::App& app) {
  auto options = std::make_shared<EnvelopeOptions>();
  auto* command = app.add_subcommand("envelope", "The bounding box of every part of every value");
  AddInputOptions(*command, options->input);
  command->add_option("--format", options->format, "tsv, json (one array) or jsonl")
      ->check(CLI::IsMember({"tsv", "json", "jsonl"}))
      ->capture_default_str();
  command->add_flag("--whole", options->whole, "one box per value, the union of its parts' boxes");
  command->footer(
      std::string("One record per point, line and polygon, in that order. Planar boxes are\n"
                  "x1 y1 x2 y2 = min x, min y, max x, max y; geographic boxes are west, south,\n"
                  "east, north in degrees, and west > east means the box crosses the\n"
                  "antimeridian. A polygon's box is that of its exterior ring, widened to the\n"
                  "pole when the ring encloses one.\n\n") +
      ExitStatusHelp());
  return [options, command] { return *command ? RunEnvelope(*options) : -1; };
}

}  // namespace ostrel_tool
