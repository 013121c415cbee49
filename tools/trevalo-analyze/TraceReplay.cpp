#include "TraceReplay.h"

#include "trevalo/platform/Location.h"
#include "utils/TRUtils.h"
#include "vell/TRVellLocation.h"

namespace trevalo::tools {

TraceReplay::TraceReplay(std::ostream& out, const std::filesystem::path& documents, Date start)
    : platform_(
          platform::SimulatedPlatform::make({.documentsDirectory = documents, .start = start})),
      previous_(platform::Platform::install(platform_)),
      printer_(std::make_shared<ReplayPrinter>(out)) {
  // Driving the loop once makes this thread the run loop's, as the analyzer expects.
  platform_->virtualRunLoop().runUntilIdle();
  analyzer_ = TRLocationAnalyzer::make();
  printer_->attach(analyzer_);
  analyzer_->setDelegate(printer_);
}

TraceReplay::~TraceReplay() {
  // Timers and posted work may hold the analyzer's parts; they go with the platform, and the
  // platform goes before the documents directory does.
  analyzer_.reset();
  printer_.reset();
  platform::Platform::install(previous_);
}

Date TraceReplay::now() const {
  return platform_->clock().now();
}

void TraceReplay::apply(const TraceEvent& event) {
  auto& runLoop = platform_->virtualRunLoop();
  const Date at(event.t);
  runLoop.advanceToJustBefore(at);
  handle(event);
  // With the clock already at `at`, this runs only what the step posted: timers due now wait.
  runLoop.advanceToJustBefore(at);
}

void TraceReplay::finish(Date end) {
  auto& runLoop = platform_->virtualRunLoop();
  runLoop.advanceTo(end < now() ? now() : end);
}

void TraceReplay::handle(const TraceEvent& event) {
  switch (event.type) {
    case TraceEvent::Type::kFix: {
      const Location fix({event.latitude, event.longitude}, 0.0, event.accuracy, -1.0, event.course,
                         event.speed, Date(event.t));
      auto sample = std::make_shared<TRVellLocation>(fix);
      sample->wifiName = TRUtils::fetchSSIDInfo();
      printer_->setCurrentSample(sample);
      analyzer_->processLocation(sample);
      printer_->setCurrentSample(nullptr);
      break;
    }
    case TraceEvent::Type::kActivity:
      analyzer_->processActivityChange(event.activity);
      break;
    case TraceEvent::Type::kWifi:
      platform_->wifiNetworkNameText().set(event.ssid);
      break;
    case TraceEvent::Type::kWifiCheck:
      analyzer_->processLastWifiNameAndDate();
      break;
    case TraceEvent::Type::kRegionExit:
      analyzer_->processRegionExit();
      break;
  }
}

}  // namespace trevalo::tools
