#include "simulation/RunRecorder.h"

#include <utility>

#include "analyzer/TRLocationAnalyzer.h"
#include "strategies/LocationManagerStrategy.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/model/TRAddress.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRVenue.h"
#include "trevalo/platform/LocationManager.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/platform/SoftwareLocationManager.h"
#include "trevalo/platform/simulated/SimulatedLocationManager.h"
#include "utils/StrategyType.h"

namespace trevalo::simulation {

struct RunRecorder::State {
  std::weak_ptr<Trevalo> facade;
  std::optional<TRMode> mode;
  std::optional<StrategyType> strategy;
  std::optional<LocationServiceState> service;
  // What the last strategy applied asks of the location service, for a manager that cannot be
  // asked whether it updates.
  bool strategyUpdates = false;
  bool strategyHeadings = false;
};

namespace {

template <class Manager>
void readSwitches(const Manager& manager, LocationServiceState& state) {
  state.updating = manager.isUpdatingLocation();
  state.headings = manager.isUpdatingHeading();
  state.significantChanges = manager.isMonitoringSignificantLocationChanges();
}

LocationServiceState serviceState(const platform::LocationManager& manager, bool strategyUpdates,
                                  bool strategyHeadings) {
  LocationServiceState state;
  state.desiredAccuracy = manager.desiredAccuracy();
  state.distanceFilter = manager.distanceFilter();
  if (const auto* software = dynamic_cast<const platform::SoftwareLocationManager*>(&manager)) {
    readSwitches(*software, state);
  } else if (const auto* simulated =
                 dynamic_cast<const platform::SimulatedLocationManager*>(&manager)) {
    readSwitches(*simulated, state);
  } else {
    state.updating = strategyUpdates;
    state.headings = strategyHeadings;
  }
  for (const auto& region : manager.monitoredRegions()) {
    state.regions.push_back({region.identifier, region.center, region.radius});
  }
  return state;
}

std::string text(const std::optional<std::string>& value) {
  return value.value_or("");
}

}  // namespace

RunRecorder::RunRecorder(Listener listener)
    : listener_(std::move(listener)), state_(std::make_shared<State>()) {}

RunRecorder::~RunRecorder() = default;

void RunRecorder::attach(const std::shared_ptr<Trevalo>& trevalo) {
  state_->facade = trevalo;
  if (!trevalo) return;
  const std::weak_ptr<State> weakState = state_;
  // The observer is told before the facade touches the location manager: the state it leaves
  // is read by a task queued behind the application. The recorder may be gone by then.
  trevalo->setStrategyObserver([this, weakState](const LocationManagerStrategy& strategy,
                                                 StrategyType current, StrategyType) {
    const auto state = weakState.lock();
    if (!state) return;
    platform::Platform::current().runLoop().post([this, weakState, strategy, current] {
      if (weakState.lock()) strategyApplied(strategy, current);
    });
  });
}

void RunRecorder::record(RunEvent event) {
  emit(std::move(event));
}

RunEvent RunRecorder::eventNow(RunEvent::Kind kind) const {
  RunEvent event;
  event.time = platform::Platform::current().clock().now();
  event.kind = kind;
  return event;
}

void RunRecorder::strategyApplied(const LocationManagerStrategy& strategy, StrategyType current) {
  switch (strategy.startAction) {
    case LocationManagerStrategy::kStartActionApply:
      state_->strategyUpdates = true;
      state_->strategyHeadings = strategy.compassOn;
      break;
    case LocationManagerStrategy::kStartActionStopUpdates:
    case LocationManagerStrategy::kStartActionGeofenceSleep:
      state_->strategyUpdates = false;
      state_->strategyHeadings = false;
      break;
    default:
      break;
  }
  noteChanges(current);
}

void RunRecorder::noteChanges(std::optional<StrategyType> appliedNow) {
  const auto facade = state_->facade.lock();
  if (!facade) return;
  const auto& context = *facade->trContext();
  if (context.analyzeLocations) {
    const TRMode mode = context.analyzeLocations->currentMode();
    if (mode != state_->mode) {
      state_->mode = mode;
      RunEvent event = eventNow(RunEvent::Kind::kMode);
      event.mode = mode;
      listener_(event);
    }
  }
  if (!context.locationManager) return;
  const StrategyType type = appliedNow.value_or(state_->strategy.value_or(StrategyTypeUnset));
  // Before the first strategy there is nothing of the facade's choosing to report.
  if (!appliedNow && !state_->strategy) return;
  LocationServiceState service =
      serviceState(*context.locationManager, state_->strategyUpdates, state_->strategyHeadings);
  if (type == state_->strategy && service == state_->service) return;
  state_->strategy = type;
  state_->service = service;
  RunEvent event = eventNow(RunEvent::Kind::kStrategy);
  event.strategy = type;
  event.service = std::move(service);
  listener_(event);
}

void RunRecorder::emit(RunEvent event) {
  noteChanges(std::nullopt);
  listener_(event);
}

VisitRecord RunRecorder::visitRecord(const TRVisit& visit) {
  VisitRecord record;
  record.arrival = visit.arrivalDate;
  record.departure = visit.departureDate;
  if (const auto& place = visit.place) {
    if (const auto& venue = place->venue) {
      record.venueId = text(venue->venueId);
      record.venueName = text(venue->name);
      record.category = text(venue->category);
    }
    if (const auto& address = place->address) {
      record.addressId = text(address->addressId);
      const Coordinate where = address->coordinate();
      if (where.latitude != 0.0 || where.longitude != 0.0) record.coordinate = where;
    }
  }
  return record;
}

VisitRecord RunRecorder::venueRecord(const TRGeofence& geofence) {
  VisitRecord record;
  if (const auto& venue = geofence.venue) {
    record.venueId = text(venue->venueId);
    record.venueName = text(venue->name);
    record.category = text(venue->category);
    record.addressId = text(venue->addressId);
  }
  record.coordinate = geofence.center;
  return record;
}

void RunRecorder::trevaloDidUpdateLocation(Trevalo&, const Location& location) {
  RunEvent event = eventNow(RunEvent::Kind::kLocation);
  event.location = location;
  emit(std::move(event));
}

void RunRecorder::trevaloDidStartVisit(Trevalo&, const std::shared_ptr<TRVisit>& visit) {
  RunEvent event = eventNow(RunEvent::Kind::kVisitStart);
  if (visit) event.visit = visitRecord(*visit);
  emit(std::move(event));
}

void RunRecorder::trevaloDidEndVisit(Trevalo&, const std::shared_ptr<TRVisit>& visit) {
  RunEvent event = eventNow(RunEvent::Kind::kVisitEnd);
  if (visit) event.visit = visitRecord(*visit);
  emit(std::move(event));
}

void RunRecorder::trevaloWillChangeActivityMode(Trevalo&, TRActivityMode mode) {
  RunEvent event = eventNow(RunEvent::Kind::kActivity);
  event.activity = mode;
  emit(std::move(event));
}

void RunRecorder::trevaloDidEnterRegion(Trevalo&, const std::shared_ptr<TRGeofence>& region) {
  RunEvent event = eventNow(RunEvent::Kind::kGeofenceEnter);
  if (region) {
    event.visit = venueRecord(*region);
    event.geofence = MonitoredRegion{event.visit.venueId, region->center, region->radius};
  }
  emit(std::move(event));
}

void RunRecorder::trevaloDidExitRegion(Trevalo&, const std::shared_ptr<TRGeofence>& region) {
  RunEvent event = eventNow(RunEvent::Kind::kGeofenceExit);
  if (region) {
    event.visit = venueRecord(*region);
    event.geofence = MonitoredRegion{event.visit.venueId, region->center, region->radius};
  }
  emit(std::move(event));
}

void RunRecorder::trevaloChangeRegion(Trevalo&, const std::string& text) {
  RunEvent event = eventNow(RunEvent::Kind::kRegionChange);
  event.text = text;
  emit(std::move(event));
}

void RunRecorder::trevaloDidFailWithError(Trevalo&, const Error& error) {
  RunEvent event = eventNow(RunEvent::Kind::kError);
  event.text = error.localizedDescription();
  emit(std::move(event));
}

}  // namespace trevalo::simulation
