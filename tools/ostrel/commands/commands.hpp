// The subcommands of the ostrel tool. Each Add function adds its
// subcommand, options and help to the application and returns the function
// that runs it once the command line is parsed (an exit status: 0, 1 when a
// line or file failed). A new subcommand is one more file in commands/ and
// one more line in the table of main.cpp; the shared layer in common/
// reads inputs line by line, reports bad lines, shows progress and escapes
// output.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace ostrel_tool {

using Runner = std::function<int()>;

Runner AddInfo(CLI::App& app);
Runner AddConvert(CLI::App& app);
Runner AddEnvelope(CLI::App& app);
Runner AddCollect(CLI::App& app);
Runner AddCentroid(CLI::App& app);
Runner AddContains(CLI::App& app);
Runner AddJoin(CLI::App& app);
Runner AddSimplify(CLI::App& app);

// The closing paragraph of every subcommand's help.
char const* ExitStatusHelp();

}  // namespace ostrel_tool
