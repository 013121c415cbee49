#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "simulation/RunEvent.h"
#include "trevalo/facade/TrevaloDelegate.h"

namespace trevalo {
class Trevalo;
struct LocationManagerStrategy;
}  // namespace trevalo

namespace trevalo::simulation {

// The application's side of a replay (or of a live run): a facade delegate that turns every
// callback into a RunEvent, and, once attached, every strategy the facade applies to the
// location manager (with the location service's state after it) and every change of the
// analyzer's mode. Each event goes to the listener as it happens, stamped with the platform's
// clock.
//
// Everything happens on the facade's run loop: the recorder is not meant to be shared with other
// threads. A strategy is reported once the run loop has carried it out, right after the facade
// applied it; the keep-alive loop's re-applications that change nothing are not reported again.
class RunRecorder final : public TrevaloDelegate {
 public:
  using Listener = std::function<void(const RunEvent&)>;

  explicit RunRecorder(Listener listener);
  ~RunRecorder() override;
  RunRecorder(const RunRecorder&) = delete;
  RunRecorder& operator=(const RunRecorder&) = delete;

  // Observes the strategies `trevalo` applies and its analyzer's mode (replacing any strategy
  // observer it had). The facade is held weakly.
  void attach(const std::shared_ptr<Trevalo>& trevalo);

  // An event from elsewhere (the device's fixes, say), in order with the rest; a mode change
  // or a change of the location service's state found meanwhile goes before it.
  void record(RunEvent event);

  void trevaloDidUpdateLocation(Trevalo& trevalo, const Location& location) override;
  void trevaloDidStartVisit(Trevalo& trevalo, const std::shared_ptr<TRVisit>& visit) override;
  void trevaloDidEndVisit(Trevalo& trevalo, const std::shared_ptr<TRVisit>& visit) override;
  void trevaloWillChangeActivityMode(Trevalo& trevalo, TRActivityMode mode) override;
  void trevaloDidEnterRegion(Trevalo& trevalo, const std::shared_ptr<TRGeofence>& region) override;
  void trevaloDidExitRegion(Trevalo& trevalo, const std::shared_ptr<TRGeofence>& region) override;
  void trevaloChangeRegion(Trevalo& trevalo, const std::string& text) override;
  void trevaloDidFailWithError(Trevalo& trevalo, const Error& error) override;

  // The place of a visit or geofence as the recorded events carry it.
  static VisitRecord visitRecord(const TRVisit& visit);
  static VisitRecord venueRecord(const TRGeofence& geofence);

 private:
  struct State;

  RunEvent eventNow(RunEvent::Kind kind) const;
  void strategyApplied(const LocationManagerStrategy& strategy, StrategyType current);
  // Reports what changed since the last event (the analyzer's mode, the location service's
  // state), then `event`.
  void emit(RunEvent event);
  void noteChanges(std::optional<StrategyType> appliedNow);

  Listener listener_;
  std::shared_ptr<State> state_;
};

}  // namespace trevalo::simulation
