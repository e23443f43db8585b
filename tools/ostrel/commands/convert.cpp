// ostrel convert: every value read (in the form --from names, or the one
// guessed) written back, one per line, in the form --to names (see
// common/forms.hpp and common/writer.hpp; OWKT by default, lossless). A
// value the target form cannot hold is a bad line, not a changed line.

#include <cstdint>
#include <iostream>
#include <string>

#include "commands/commands.hpp"
#include "common/input.hpp"
#include "common/writer.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel_tool {

namespace {

using ostrel::Spatial;
using ostrel::SRID;

struct ConvertOptions {
  InputOptions input;
  OutputOptions output;
};

int RunConvert(ConvertOptions& options) {
  ReadTotals const read = ReadValues(options.input, [&](Source const&, Spatial const& value) {
    std::cout << WriteValue(options.output, value) << '\n';
  });
  std::cout.flush();
  if (read.lost_ordinates > 0) {
    std::cerr << "ostrel: note: " << read.lost_ordinates << " value"
              << (read.lost_ordinates == 1 ? " had its" : "s had their")
              << " Z or M numbers dropped (the library keeps x and y)\n";
  }
  Report(options.output);
  return Finish(read, options.input);
}

}  // namespace

Runner AddConvert(CLI::App& app) {
  auto options = std::make_shared<ConvertOptions>();
  auto* command = app.add_subcommand(
      "convert", "Write every value in another form (OWKT by default), one per line");
  AddInputOptions(*command, options->input);
  AddOutputOptions(*command, options->output);
  command->footer(
      std::string(
          "Lossless text (the default) reads back, without --geography or --geometry, as\n"
          "values of the same kind with the same attributes, coordinates and hashes:\n"
          "numbers get as many digits as that needs, a geographic value with default\n"
          "attributes is marked ORIGINALSRID=EPSG:4326, a planar one with an SRID BIAS=0:0,\n"
          "and winding orders and SR-ORG are spelled as the reader expects.\n\n"
          "Other forms are checked by reading each value back: one the form cannot hold\n"
          "(another family, shape type or number of parts, an SRID it would change, bytes\n"
          "that do not read) is a bad line with the reason and is not written; what the\n"
          "form changes by its nature (digits, bias, densified edges, oriented rings, the\n"
          "compressed grid, attributes it has no place for) is counted in a note.\n\n") +
      ExitStatusHelp());
  return [options, command] { return *command ? RunConvert(*options) : -1; };
}

}  // namespace ostrel_tool
