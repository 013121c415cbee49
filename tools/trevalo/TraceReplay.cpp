#include "TraceReplay.h"

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

void TraceReplay::apply(const simulation::JsonTraceLine& line) {
  auto& runLoop = platform_->virtualRunLoop();
  runLoop.advanceToJustBefore(line.time);
  handle(line);
  // With the clock already at the line's time, this runs only what the step posted: timers
  // due now wait.
  runLoop.advanceToJustBefore(line.time);
}

void TraceReplay::finish(Date end) {
  auto& runLoop = platform_->virtualRunLoop();
  runLoop.advanceTo(end < now() ? now() : end);
}

void TraceReplay::handle(const simulation::JsonTraceLine& line) {
  using Type = simulation::JsonTraceLine::Type;
  switch (line.type) {
    case Type::kFix: {
      auto sample = std::make_shared<TRVellLocation>(*line.fix);
      sample->wifiName = TRUtils::fetchSSIDInfo();
      printer_->setCurrentSample(sample);
      analyzer_->processLocation(sample);
      printer_->setCurrentSample(nullptr);
      break;
    }
    case Type::kActivity:
      analyzer_->processActivityChange(line.activity);
      break;
    case Type::kWifi:
      platform_->wifiNetworkNameText().set(line.ssid);
      break;
    case Type::kWifiCheck:
      analyzer_->processLastWifiNameAndDate();
      break;
    case Type::kRegionExit:
      analyzer_->processRegionExit();
      break;
    case Type::kRegionEnter:
    case Type::kAccelerometer:
    case Type::kHeading:
      break;
  }
}

}  // namespace trevalo::tools
