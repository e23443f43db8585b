// ostrel collect: every value read, gathered into one value (Collect), and
// written in any output form convert writes. --distinct then removes parts
// that occur more than once. A value that cannot join the collection (the
// other family, another SRID or topological type, Unknown) is reported as a
// bad line with the library's message and left out.

#include <iostream>
#include <string>

#include "commands/commands.hpp"
#include "common/input.hpp"
#include "common/writer.hpp"
#include "ostrel/operations/collect.hpp"
#include "ostrel/operations/distinct.hpp"

namespace ostrel_tool {

namespace {

struct CollectOptions {
  InputOptions input;
  OutputOptions output;
  bool distinct = false;
};

int RunCollect(CollectOptions& options) {
  ostrel::Collect collect;
  ReadTotals const read = ReadValues(
      options.input, [&](Source const&, ostrel::Spatial const& value) { collect.Add(value); });
  ostrel::SpatialPtr result = collect.Finish();
  if (options.distinct) result = ostrel::Distinct::Make(std::move(result));
  try {
    std::cout << WriteValue(options.output, *result) << '\n';
  } catch (std::exception const& e) {
    std::cerr << "ostrel: cannot write the collected value: " << e.what() << '\n';
    return 1;
  }
  Report(options.output);
  return Finish(read, options.input);
}

}  // namespace

Runner AddCollect(CLI::App& app) {
  auto options = std::make_shared<CollectOptions>();
  auto* command =
      app.add_subcommand("collect", "Gather every value read into one value and write it");
  AddInputOptions(*command, options->input);
  AddOutputOptions(*command, options->output);
  command->add_flag("--distinct", options->distinct,
                    "then remove repeated points, lines and polygons (a mixed result only)");
  command->footer(
      std::string("All values must be of one family with the same SRIDs (and, for geographic\n"
                  "values, the same topological type); others are reported and left out.\n"
                  "Nothing is merged: a multi-polygon of 2 and a polygon give a multi-polygon\n"
                  "of 3. No value read gives UNKNOWN.\n\n") +
      ExitStatusHelp());
  return [options, command] { return *command ? RunCollect(*options) : -1; };
}

}  // namespace ostrel_tool
