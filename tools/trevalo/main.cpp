// trevalo: the command-line program of the SDK, one subcommand per job. `trevalo --help` and
// `trevalo SUBCOMMAND --help` tell more.
#include <CLI/CLI.hpp>
#include <iostream>

#include "Commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Trevalo: location intelligence on recorded traces", "trevalo"};
  app.require_subcommand(1);
  int status = trevalo::tools::kDone;
  trevalo::tools::addAnalyzeCommand(app, status);
  trevalo::tools::addDumpCommand(app, status);
  trevalo::tools::addInfoCommand(app, status);
  trevalo::tools::addExampleCommand(app, status);
  trevalo::tools::addReplayCommand(app, status);
  trevalo::tools::addServeCommand(app, status);
  trevalo::tools::addRunCommand(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return trevalo::tools::kBadInput;
  }
  return status;
}
