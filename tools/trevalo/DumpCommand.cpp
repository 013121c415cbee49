// trevalo dump FILE: prints a keyed archive written by the SDK as indented JSON (records with
// their class names, then the top-level keys). Exit status 1 when the file cannot be read, 2
// when it is not an intact archive.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo::tools {

namespace {

int dump(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "trevalo dump: cannot read " << path << "\n";
    return kFailed;
  }
  const platform::Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  try {
    std::cout << platform::KeyedUnarchiver::dumpAsJson(bytes).dump(2) << "\n";
  } catch (const platform::ArchiveError& error) {
    std::cerr << "trevalo dump: " << path << ": " << error.what() << "\n";
    return kBadInput;
  }
  return kDone;
}

}  // namespace

void addDumpCommand(CLI::App& app, int& status) {
  auto* command = app.add_subcommand(
      "dump", "Print an archive the SDK wrote (its pending visit work, say) as JSON");
  auto file = std::make_shared<std::string>();
  command->add_option("FILE", *file, "the archive")->required();
  command->callback(
      [&status, file] { status = reportingFailure("dump", [&] { return dump(*file); }); });
}

}  // namespace trevalo::tools
