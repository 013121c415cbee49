// A minimal embedding application, built against the installed headers only: it installs a
// platform of its own and reads a place from a service answer.
#include <trevalo/Trevalo.h>
#include <trevalo/platform/simulated/SimulatedPlatform.h>

#include <cstdio>
#include <filesystem>

int main() {
  using namespace trevalo;
  const auto directory = std::filesystem::temp_directory_path() / "trevalo-consumer";
  platform::Platform::install(platform::SimulatedPlatform::make({.documentsDirectory = directory}));

  const auto place = TRPlace::initWithDictionary(
      Json::parse(R"({"venue": {"id": "v1", "name": "Cafe"}, "address": {"id": "a1"}})"));
  const bool ok = place && place->venue && place->venue->name == "Cafe" &&
                  std::string(TROptionFilter) == "options_filter";
  platform::Platform::install(nullptr);
  std::filesystem::remove_all(directory);
  std::puts(ok ? "ok" : "mismatch");
  return ok ? 0 : 1;
}
