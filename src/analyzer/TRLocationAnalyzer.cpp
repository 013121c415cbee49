#include "analyzer/TRLocationAnalyzer.h"

#include <utility>

#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Platform.h"
#include "utils/TRUtils.h"
#include "vell/TRMath.h"

namespace trevalo {

namespace {

// The indoor score. Thresholds a hair either side of 10 m single out an accuracy of exactly
// 10 m, the round figure that network-based positioning tends to report indoors.
constexpr double kIndoorThreshold = 1.0;
constexpr double kVeryPoorAccuracy = 65.0;
constexpr double kVeryPoorAccuracyScore = 1.0;
constexpr double kPoorAccuracy = 10.0000001;
constexpr double kPoorAccuracyScore = 0.45;
constexpr double kWifiAccuracy = 9.9999999;
constexpr double kWifiAccuracyScore = 0.225;
constexpr double kNoMotion = 0.0000001;  // course or speed at or below this is none
constexpr double kNoCourseScore = 0.2;
constexpr double kNoSpeedScore = 0.2;
constexpr double kNearDistance = 7.5;
constexpr double kNearAge = 15.0;
constexpr double kNearScore = 0.3;
constexpr double kLooseDistance = 15.0;
constexpr double kLooseAge = 15.0;
constexpr double kLooseScore = 0.2;
constexpr double kLongDistance = 20.0;
constexpr double kLongAge = 300.0;
constexpr double kLongScore = 0.7;

// The outdoor-evidence counter: one indoor sample takes away about a third of what one outdoor
// sample adds.
constexpr double kWentOutsideIndoorStep = 0.34;
constexpr double kWentOutsideOutdoorStep = 1.0;

// Ageing of the indoor samples.
constexpr double kIndoorMemory = 120.0;
constexpr std::size_t kIndoorKept = 5;

constexpr TRMode kAllModes[] = {TRModeInitial, TRModeWalking,      TRModeBurst,    TRModeCar,
                                TRModeVisit,   TRModeVisitWalking, TRModeGeofence, TRModeWifi};

}  // namespace

std::shared_ptr<TRLocationAnalyzer> TRLocationAnalyzer::make() {
  return make(std::make_shared<TRLocationAnalyzerContext>());
}

std::shared_ptr<TRLocationAnalyzer> TRLocationAnalyzer::make(
    std::shared_ptr<TRLocationAnalyzerContext> context) {
  if (!context) throw Exception(Exception::kInvalidArgument, "the analyzer needs a context");
  auto analyzer = std::make_shared<TRLocationAnalyzer>(Key{}, std::move(context));
  analyzer->createModes();
  return analyzer;
}

TRLocationAnalyzer::TRLocationAnalyzer(Key, std::shared_ptr<TRLocationAnalyzerContext> context)
    : context_(std::move(context)) {}

void TRLocationAnalyzer::createModes() {
  const std::weak_ptr<TRModeDelegate> self = weak_from_this();
  for (const TRMode mode : kAllModes)
    modes_.emplace(mode, TRAbstractMode::modeFor(mode, self, context_));
}

void TRLocationAnalyzer::setDelegate(std::weak_ptr<TRLocationAnalyzerDelegate> delegate,
                                     std::weak_ptr<TRGeofenceDelegate> geofenceDelegate) {
  const std::lock_guard lock(delegateMutex_);
  delegate_ = std::move(delegate);
  geofenceDelegate_ = std::move(geofenceDelegate);
}

std::shared_ptr<TRLocationAnalyzerDelegate> TRLocationAnalyzer::delegate() const {
  const std::lock_guard lock(delegateMutex_);
  return delegate_.lock();
}

std::shared_ptr<TRGeofenceDelegate> TRLocationAnalyzer::geofenceDelegate() const {
  const std::lock_guard lock(delegateMutex_);
  return geofenceDelegate_.lock();
}

void TRLocationAnalyzer::processLocation(const std::shared_ptr<TRVellLocation>& location) {
  if (!location) throw Exception(Exception::kInvalidArgument, "processLocation: no location");
  // A switch made while the mode handles this sample takes effect with the next one.
  const std::shared_ptr<TRAbstractMode> mode = modes_.at(currentMode());
  if (!initalized_) {
    mode->willEnterModeFrom(currentMode(), {});
    initalized_ = true;
  }
  ++pointIndex_;

  auto& history = context_->locations;
  TRUtils::addRollingData(location, history, kHistoryLimit);
  location->calculateRollingAverageAcceleration(history, kRollingAccelerometerNumber);
  location->calculateBearingAndDistance(history);
  {
    const std::lock_guard lock(lastGoodLocationMutex_);
    lastGoodLocation_ = location->location;
  }

  if (history.size() <= kWarmUpSamples) {
    if (const auto listener = delegate())
      listener->onDeterminedFilteredTRLocation(location->location);
    return;
  }

  const TRVellLocation& previous = *history[history.size() - 2];
  const double elapsed = location->timestamp().timeIntervalSinceDate(previous.timestamp());
  location->calculatedSpeed =
      elapsed > 0.0 ? TRMath::vellDistanceFromLocation(previous.location.coordinate(),
                                                       location->location.coordinate()) /
                          elapsed
                    : 0.0;

  const bool isIndoor = indoor(*location);
  location->isIndoor = isIndoor;
  if (isIndoor) TRUtils::addRollingData(location, context_->indoorArray, kIndoorHistoryLimit);
  context_->wentOutside = isIndoor ? std::max(context_->wentOutside - kWentOutsideIndoorStep, 0.0)
                                   : context_->wentOutside + kWentOutsideOutdoorStep;
  location->mode = currentMode();

  mode->processLocation(location);

  if (const auto listener = delegate())
    listener->onDeterminedFilteredTRLocation(location->location);
  if (!isIndoor) ageIndoorArray(*location);
}

bool TRLocationAnalyzer::indoor(TRVellLocation& location) {
  const Location& fix = location.location;
  double score = 0.0;
  const double accuracy = fix.horizontalAccuracy();
  if (accuracy > kVeryPoorAccuracy) {
    score = kVeryPoorAccuracyScore;
  } else if (accuracy > kPoorAccuracy) {
    score = kPoorAccuracyScore;
  } else if (accuracy >= kWifiAccuracy) {
    score = kWifiAccuracyScore;
  }
  if (fix.course() <= kNoMotion) score += kNoCourseScore;
  if (fix.speed() <= kNoMotion) score += kNoSpeedScore;

  const double nearAge =
      anchorAge(kNearDistance, location, indoorLastFarAwayPoint_, indoorLastFarAwayIndex_);
  if (nearAge > kNearAge) score += kNearScore;
  const double looseAge =
      anchorAge(kLooseDistance, location, indoorLastLooseFarAwayPoint_, indoorLooseFarAwayIndex_);
  if (looseAge > kLooseAge) score += kLooseScore;
  const double longAge = anchorAge(kLongDistance, location, indoorLastFarAwayLongTimePoint_,
                                   indoorFarAwayLongTimeIndex_);
  if (longAge > kLongAge) score += kLongScore;

  location.indoorScore = score;
  return score >= kIndoorThreshold;
}

double TRLocationAnalyzer::anchorAge(double threshold, const TRVellLocation& location,
                                     std::shared_ptr<TRVellLocation>& anchor,
                                     std::uint64_t& index) const {
  anchor =
      context_->getFirstLocationWithDistanceLessThanThreshold(threshold, location, anchor, index);
  if (!anchor) return 0.0;
  return location.timestamp().timeIntervalSinceDate(anchor->timestamp());
}

void TRLocationAnalyzer::ageIndoorArray(const TRVellLocation& location) {
  auto& indoorSamples = context_->indoorArray;
  ++indoorAgeCounter_;
  if (indoorAgeCounter_ % 2 == 0 && !indoorSamples.empty()) indoorSamples.pop_front();
  const Date oldestKept = location.timestamp().dateByAddingTimeInterval(-kIndoorMemory);
  std::erase_if(indoorSamples,
                [&](const auto& sample) { return !sample || !(sample->timestamp() > oldestKept); });
  while (indoorSamples.size() > kIndoorKept)
    indoorSamples.pop_front();
}

void TRLocationAnalyzer::processActivityChange(std::uint64_t activity) {
  auto& runLoop = platform::Platform::current().runLoop();
  if (runLoop.isCurrent()) {
    processActivityChangeOnRunLoop(activity);
    return;
  }
  runLoop.post([weak = weak_from_this(), activity] {
    if (const auto self = weak.lock()) self->processActivityChangeOnRunLoop(activity);
  });
}

void TRLocationAnalyzer::processActivityChangeOnRunLoop(std::uint64_t activity) {
  if (activity == kWalkingActivity) context_->setLastWalkingDetectedOn(Date::now());
  const std::uint64_t previous = currentActivity_;
  modes_.at(currentMode())->processActivityChange(previous, activity);
  currentActivity_ = activity;
}

void TRLocationAnalyzer::processRegionExit() {
  context_->setLastWalkingDetectedOn(Date::now());
  changeModeTo(TRModeVisitWalking);
}

void TRLocationAnalyzer::processOperationFinished(
    const std::shared_ptr<MetaOperationBase>& operation) {
  modes_.at(currentMode())->processOperationFinished(operation);
}

void TRLocationAnalyzer::processLastWifiNameAndDate() {
  const bool left = context_->updateLastWifiNameAndDate();
  modes_.at(currentMode())->processWifiChange(left);
}

void TRLocationAnalyzer::updateFilter(const std::vector<std::shared_ptr<TRFilter>>& filters) {
  if (context_->geofenceManager) {
    context_->geofenceManager->updateFilters(filters, geofenceDelegate());
  }
}

std::optional<Location> TRLocationAnalyzer::getBestAvailableLocation() const {
  const std::lock_guard lock(lastGoodLocationMutex_);
  return lastGoodLocation_;
}

bool TRLocationAnalyzer::walkedInLast2Minutes() const {
  return context_->walkedInLast2Minutes();
}

void TRLocationAnalyzer::changeModeTo(TRMode mode) {
  const auto found = modes_.find(mode);
  if (found == modes_.end()) throw Exception(Exception::kInvalidArgument, "Unsupported mode");
  const TRMode oldMode = currentMode();
  const std::shared_ptr<TRAbstractMode> old = modes_.at(oldMode);
  const std::shared_ptr<TRAbstractMode> next = found->second;

  old->willExitToMode(mode);
  currentMode_.store(mode, std::memory_order_release);
  if (const auto listener = delegate()) listener->didDetectedModeChange();
  const TRModeArguments arguments = old->result();
  next->willEnterModeFrom(oldMode, arguments);
}

void TRLocationAnalyzer::onConfirmedDepartedVenueWithEndDate(Date endDate) {
  std::weak_ptr<TRLocationAnalyzerDelegate> listener;
  {
    const std::lock_guard lock(delegateMutex_);
    listener = delegate_;
  }
  platform::Platform::current().runLoop().post([listener = std::move(listener), endDate] {
    if (const auto target = listener.lock()) target->onConfirmedDepartedVenueWithEndDate(endDate);
  });
}

std::shared_ptr<MetaOperationBase> TRLocationAnalyzer::sendCollectedPoints(
    const std::vector<std::shared_ptr<TRVellLocation>>& points) {
  const auto listener = delegate();
  return listener ? listener->sendCollectedPoints(points) : nullptr;
}

void TRLocationAnalyzer::reverseGeocode(const std::shared_ptr<TRVellLocation>& location) {
  if (const auto listener = delegate()) listener->reverseGeocode(location);
}

}  // namespace trevalo
