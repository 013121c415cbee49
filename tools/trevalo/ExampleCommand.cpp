// trevalo example DIR: writes the bundled example day (day.jsonl) and its venues
// (venues.geojson) into DIR, made as simulation/ExampleDay.h tells. examples/ holds its output.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "Commands.h"
#include "simulation/ExampleDay.h"

namespace trevalo::tools {

namespace {

bool write(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::cerr << "trevalo example: cannot write " << path.string() << "\n";
  return static_cast<bool>(out);
}

int example(const std::filesystem::path& directory, std::uint64_t seed) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    std::cerr << "trevalo example: cannot create " << directory.string() << ": " << error.message()
              << "\n";
    return kFailed;
  }
  const auto files = simulation::ExampleDay::generate(seed);
  if (!write(directory / "day.jsonl", files.trace) ||
      !write(directory / "venues.geojson", files.venues)) {
    return kFailed;
  }
  std::cout << "wrote " << (directory / "day.jsonl").string() << " and "
            << (directory / "venues.geojson").string() << "\n";
  return kDone;
}

}  // namespace

void addExampleCommand(CLI::App& app, int& status) {
  auto* command = app.add_subcommand(
      "example", "Write the example day (day.jsonl) and its venues (venues.geojson) into DIR");
  auto directory = std::make_shared<std::string>();
  auto seed = std::make_shared<std::uint64_t>(simulation::ExampleDay::kSeed);
  command->add_option("DIR", *directory, "where to write them")->required();
  command->add_option("--seed", *seed, "the seed of the noise (the bundled day uses the default)");
  command->callback([&status, directory, seed] {
    status = reportingFailure("example", [&] { return example(*directory, *seed); });
  });
}

}  // namespace trevalo::tools
