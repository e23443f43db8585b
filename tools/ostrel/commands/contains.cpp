// ostrel contains: for every value read, whether it intersects one value
// given on the command line (Intersects::Calculate), as TSV.
//
// The library answers polygons against points only: a polygonal --value
// asks which points of the input lie inside it, a point-like --value which
// polygons of the input contain it. Every other pairing answers false, so
// a --value that is neither polygonal nor point-like is refused as a usage
// error, and values of the input of another family than the --value are
// counted and noted at the end, since their answer is always false.

#include <iostream>
#include <string>

#include "commands/commands.hpp"
#include "common/input.hpp"
#include "common/output.hpp"
#include "ostrel/operations/intersects.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel_tool {

namespace {

using ostrel::ShapeType;
using ostrel::Spatial;

struct ContainsOptions {
  InputOptions input;
  std::string value;
  bool matching = false;
};

bool Polygonal(ShapeType t) { return t == ShapeType::Polygon || t == ShapeType::MultiPolygon; }
bool PointLike(ShapeType t) { return t == ShapeType::Point || t == ShapeType::MultiPoint; }

int RunContains(ContainsOptions const& options) {
  ostrel::OWKT::Diagnosis diagnosis;
  ostrel::SpatialPtr given;
  try {
    given =
        ostrel::OWKT::From(options.value, options.input.Type(), options.input.radians, diagnosis);
  } catch (std::exception const&) {
    // The diagnosis says why.
  }
  if (!diagnosis.IsValue()) {
    std::cerr << "ostrel: --value:" << diagnosis.column << ": " << diagnosis.message << '\n';
    return 2;
  }
  ShapeType const shape = given->GetShapeType();
  if ((!given->IsGeometry() && !given->IsGeography()) || (!Polygonal(shape) && !PointLike(shape))) {
    std::cerr << "ostrel: --value must be a polygon, a multi-polygon, a point or a multi-point, "
                 "not "
              << *given << ": nothing else intersects\n";
    return 2;
  }
  std::uint64_t other_family = 0;
  std::uint64_t matches = 0;
  std::cout << "file\tline\tintersects\n";
  ReadTotals const read = ReadValues(options.input, [&](Source const& source, Spatial const& v) {
    if (v.GetCoordinateType() != given->GetCoordinateType()) ++other_family;
    bool const hit = ostrel::Intersects::Calculate(*given, v);
    if (hit) ++matches;
    if (options.matching && !hit) return;
    std::cout << TsvField(source.name) << '\t' << source.line << '\t' << (hit ? "true" : "false")
              << '\n';
  });
  std::cout.flush();
  if (other_family > 0) {
    std::cerr << "ostrel: note: " << other_family << " value"
              << (other_family == 1 ? " was" : "s were") << " not "
              << (given->IsGeography() ? "geographic" : "planar")
              << " like --value, so never intersected it (see --geography, --geometry)\n";
  }
  std::cerr << "ostrel: " << matches << " of " << read.values << " values intersect\n";
  return Finish(read, options.input);
}

}  // namespace

Runner AddContains(CLI::App& app) {
  auto options = std::make_shared<ContainsOptions>();
  auto* command = app.add_subcommand(
      "contains", "Whether each value intersects one given value (polygons against points)");
  command
      ->add_option("--value", options->value,
                   "the value to test against, in OWKT; read with --geography,\n"
                   "--geometry and --radians like the inputs")
      ->required()
      ->type_name("TEXT");
  AddInputOptions(*command, options->input);
  command->add_flag("--matching", options->matching,
                    "write only the values that intersect --value");
  command->footer(
      std::string("TSV: file, line, and true or false. The library tests polygons against\n"
                  "points: with a polygonal --value, whether a point-like value has a point\n"
                  "inside it; with a point-like --value, whether a polygonal value contains\n"
                  "one of its points. Every other pair (lines, mixed values, two polygons, a\n"
                  "planar with a geographic value) is false. A --value of another shape is a\n"
                  "usage error. Points on a boundary may fall either way. Geographic polygons\n"
                  "are taken as their rings say: the interior lies to the left of each ring.\n"
                  "The count of intersecting values goes to standard error.\n\n") +
      ExitStatusHelp());
  return [options, command] { return *command ? RunContains(*options) : -1; };
}

}  // namespace ostrel_tool
