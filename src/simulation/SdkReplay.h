#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "networking/TRNetworkClient.h"
#include "simulation/RecordedRun.h"
#include "simulation/ReplayDevice.h"
#include "simulation/RunRecorder.h"
#include "simulation/Trace.h"
#include "simulation/TracePlayer.h"
#include "trevalo/platform/HttpTransport.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"
#include "trevalo/utils/TROptions.h"

namespace trevalo {
class Trevalo;
class TRContext;
}  // namespace trevalo

namespace trevalo::simulation {

// The whole SDK on a recorded trace: a simulated platform in virtual time starting at the
// trace's first record, the replayed device on it (ReplayDevice), and a facade of its own
// started with a token and options, whose delegate records the run (RunRecorder). The fixes
// the device hands to the SDK are recorded too.
//
// The SDK's requests go to a responder on the simulated transport (the embedded reference
// service, say) or to a real transport. Virtual time cannot wait for a real network: with a
// real transport the replay moves on to the next record only when no request is in flight:
// it holds the clock still, running what the answers bring, until none is left (or until
// `requestTimeout` of real time has passed, leaving late answers to arrive when they come).
//
// Installs its platform for its lifetime (one replay at a time in a process) and restores the
// one before; everything runs on the constructing thread.
class SdkReplay {
 public:
  struct Options {
    // The SDK's documents directory; it must exist.
    std::filesystem::path documentsDirectory;
    std::string token = "replay";
    std::optional<TROptions> options;
    TRNetworkClient::Hosts hosts{};
    // Answers every request on the simulated transport. Without it (and without a transport)
    // requests stay unanswered.
    platform::SimulatedHttpTransport::Responder responder{};
    // A real transport in place of the simulated one, with its count of requests in flight.
    std::shared_ptr<platform::HttpTransport> transport{};
    std::function<std::size_t()> requestsInFlight{};
    std::chrono::milliseconds requestTimeout{30000};
    // Told of each event as it happens, after it was added to the recorded run.
    RunRecorder::Listener listener{};
  };

  // An empty trace raises std::invalid_argument.
  SdkReplay(std::shared_ptr<const Trace> trace, Options options);
  ~SdkReplay();
  SdkReplay(const SdkReplay&) = delete;
  SdkReplay& operator=(const SdkReplay&) = delete;

  // Plays every record of the trace, then the timers due at the last one's time.
  void play();
  // Plays the records stamped at or before `end` and runs the clock on to it.
  void playUntil(Date end);

  const RecordedRun& recordedRun() const noexcept { return run_; }
  Trevalo& facade() const noexcept { return *facade_; }
  TRContext& context() const noexcept { return *context_; }
  platform::SimulatedPlatform& platform() const noexcept { return *platform_; }
  ReplayDevice& device() noexcept { return *device_; }
  ReplayLocationManager& locationManager() const noexcept { return *locationManager_; }
  const TracePlayer& player() const noexcept { return *player_; }
  Date now() const;

 private:
  void waitForRequests();
  void recorded(const RunEvent& event);

  std::shared_ptr<const Trace> trace_;
  Options options_;
  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
  std::shared_ptr<ReplayLocationManager> locationManager_;
  std::shared_ptr<TRContext> context_;
  std::shared_ptr<Trevalo> facade_;
  std::shared_ptr<RunRecorder> recorder_;
  std::optional<ReplayDevice> device_;
  std::optional<TracePlayer> player_;
  RecordedRun run_;
};

}  // namespace trevalo::simulation
