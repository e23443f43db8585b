// ostrel: reads spatial values, one value per line, and describes them
// (info), writes them back (convert), or computes with them (envelope,
// collect, ...).
//
// Each subcommand lives in commands/ and reads its inputs through the
// shared layer of common/. A line that does not give a value is reported
// on standard error as FILE:LINE:COLUMN: why, the other lines are still
// processed, and the run ends with status 1. Usage errors end with status 2.

#include <CLI/CLI.hpp>

#include <iostream>
#include <utility>
#include <vector>

#include "commands/commands.hpp"
#include "ostrel/operations/basic_services.hpp"

namespace ostrel_tool {

char const* ExitStatusHelp() {
  return "Exit status: 0 when every line read, 1 when a line or a file failed (each line\n"
         "reported on standard error as FILE:LINE:COLUMN: why, at most --max-errors of\n"
         "them), 2 for a usage error.";
}

}  // namespace ostrel_tool

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);

  CLI::App app{
      "Reads spatial values, one value per line: OWKT, WKT and EWKT text, or WKB, EWKB, SQL "
      "Server, Oracle and legacy bytes in hexadecimal.",
      "ostrel"};
  app.set_version_flag("--version", "ostrel " OSTREL_TOOL_VERSION);
  app.require_subcommand(1);
  app.footer(ostrel_tool::ExitStatusHelp());

  // One line per subcommand.
  // clang-format off
  std::vector<ostrel_tool::Runner> const runners = {
      ostrel_tool::AddInfo(app),
      ostrel_tool::AddConvert(app),
      ostrel_tool::AddEnvelope(app),
      ostrel_tool::AddCollect(app),
      ostrel_tool::AddCentroid(app),
      ostrel_tool::AddContains(app),
      ostrel_tool::AddJoin(app),
      ostrel_tool::AddSimplify(app),
  };
  // clang-format on

  try {
    app.parse(argc, argv);
  } catch (CLI::ParseError const& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  // The caches and handler tables of envelope, collect and the joins.
  ostrel::BasicServices::Register();
  for (auto const& run : runners) {
    if (int const status = run(); status >= 0) return status;
  }
  return 2;
}
