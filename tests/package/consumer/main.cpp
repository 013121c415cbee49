// A minimal embedding application: it installs a platform of its own and archives a value.
#include <trevalo/platform/KeyedArchiver.h>
#include <trevalo/platform/KeyedUnarchiver.h>
#include <trevalo/platform/SimulatedPlatform.h>

#include <cstdio>
#include <filesystem>

int main() {
  using namespace trevalo::platform;
  const auto directory = std::filesystem::temp_directory_path() / "trevalo-consumer";
  Platform::install(SimulatedPlatform::make({.documentsDirectory = directory}));

  KeyedArchiver archiver;
  archiver.encodeDouble(42.5, "answer");
  const auto data = archiver.encodedData();
  const KeyedUnarchiver reader(data);
  const bool ok = reader.decodeDouble("answer") == 42.5;
  Platform::install(nullptr);
  std::filesystem::remove_all(directory);
  std::puts(ok ? "ok" : "mismatch");
  return ok ? 0 : 1;
}
