// A minimal embedding application, built against the installed headers only: it installs a
// simulated platform of its own, starts a facade with a delegate, feeds it a few fixes and
// expects to hear of them.
#include <trevalo/Trevalo.h>
#include <trevalo/platform/simulated/SimulatedPlatform.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

class Delegate final : public trevalo::TrevaloDelegate {
 public:
  void trevaloDidUpdateLocation(trevalo::Trevalo&, const trevalo::Location&) override {
    ++locations;
  }
  int locations = 0;
};

}  // namespace

int main() {
  using namespace trevalo;
  const auto directory = std::filesystem::temp_directory_path() / "trevalo-consumer";
  std::filesystem::remove_all(directory);
  auto platform = platform::SimulatedPlatform::make({.documentsDirectory = directory});
  platform::Platform::install(platform);
  platform->virtualRunLoop().runUntilIdle();  // this thread is the SDK's main thread

  bool ok = false;
  {
    const auto trevalo = Trevalo::initWithContext(std::make_shared<TRContext>());
    const auto delegate = std::make_shared<Delegate>();
    trevalo->startWithApiToken("token", delegate, TROptions{{TROptionWhenInUseOnly, true}});
    for (int i = 0; i < 3; ++i) {
      platform->virtualRunLoop().advanceBy(5.0);
      platform->locationManager().deliverLocations({Location(
          Coordinate{48.85, 2.35 + i * 1e-4}, 0.0, 5.0, -1.0, 90.0, 1.4, platform->clock().now())});
      platform->virtualRunLoop().runUntilIdle();
    }
    ok = trevalo->isRunning() && delegate->locations == 3 &&
         std::string(TROptionFilter) == "options_filter";
    trevalo->pause();
    platform->virtualRunLoop().runUntilIdle();
  }
  platform::Platform::install(nullptr);
  platform.reset();
  std::filesystem::remove_all(directory);
  std::puts(ok ? "ok" : "mismatch");
  return ok ? 0 : 1;
}
