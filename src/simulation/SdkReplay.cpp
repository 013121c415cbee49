#include "simulation/SdkReplay.h"

#include <stdexcept>
#include <utility>

#include "analyzer/modes/TRWalkingMode.h"
#include "trevalo/facade/TRContext.h"
#include "trevalo/facade/Trevalo.h"

namespace trevalo::simulation {

SdkReplay::SdkReplay(std::shared_ptr<const Trace> trace, Options options)
    : trace_(std::move(trace)), options_(std::move(options)) {
  if (!trace_ || !trace_->start()) throw std::invalid_argument("the trace has no records");
  platform_ = platform::SimulatedPlatform::make(
      {.documentsDirectory = options_.documentsDirectory, .start = *trace_->start()});
  previous_ = platform::Platform::install(platform_);
  auto& runLoop = platform_->virtualRunLoop();
  // Driving the loop once makes this thread the run loop's: the SDK's main thread.
  runLoop.runUntilIdle();
  if (options_.transport) {
    platform_->setHttpTransport(options_.transport);
  } else if (options_.responder) {
    platform_->simulatedHttpTransport().setResponder(options_.responder);
  }

  // A process-wide count in the analyzer would otherwise carry over from an earlier replay.
  TRWalkingMode::resetCarModeCount();
  locationManager_ = std::make_shared<ReplayLocationManager>(platform_->services().runLoop);
  context_ = std::make_shared<TRContext>(std::make_shared<TRNetworkClient>(options_.hosts));
  context_->locationManager = locationManager_;
  facade_ = Trevalo::initWithContext(context_);
  recorder_ = std::make_shared<RunRecorder>([this](const RunEvent& event) { recorded(event); });
  recorder_->attach(facade_);
  locationManager_->setFixListener([this](const Location& fix) {
    RunEvent event;
    event.time = now();
    event.kind = RunEvent::Kind::kFix;
    event.location = fix;
    recorder_->record(std::move(event));
  });
  device_.emplace(*platform_, locationManager_);
  player_.emplace(trace_, runLoop, *device_);

  facade_->startWithApiToken(options_.token, recorder_, options_.options);
  runLoop.runUntilIdle();
}

SdkReplay::~SdkReplay() {
  player_.reset();
  device_.reset();
  facade_.reset();
  context_.reset();
  locationManager_.reset();
  // Work still queued may hold SDK objects: it goes with the platform.
  platform::Platform::install(previous_);
  platform_.reset();
}

Date SdkReplay::now() const {
  return platform_->clock().now();
}

void SdkReplay::recorded(const RunEvent& event) {
  run_.add(event);
  if (options_.listener) options_.listener(event);
}

void SdkReplay::waitForRequests() {
  if (!options_.requestsInFlight) return;
  auto& runLoop = platform_->virtualRunLoop();
  // An answer may bring further requests (a visit logged once its place is known): wait
  // until a round leaves none in flight.
  while (options_.requestsInFlight() > 0) {
    if (!runLoop.runUntil([this] { return options_.requestsInFlight() == 0; },
                          options_.requestTimeout)) {
      return;
    }
    runLoop.runUntilIdle();
  }
}

void SdkReplay::play() {
  while (player_->nextTime()) {
    waitForRequests();
    player_->playNextInstant();
  }
  waitForRequests();
  platform_->virtualRunLoop().advanceTo(now());
}

void SdkReplay::playUntil(Date end) {
  while (const auto next = player_->nextTime()) {
    if (*next > end) break;
    waitForRequests();
    player_->playNextInstant();
  }
  waitForRequests();
  if (end > now()) platform_->virtualRunLoop().advanceTo(end);
}

}  // namespace trevalo::simulation
