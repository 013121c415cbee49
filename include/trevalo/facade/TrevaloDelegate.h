#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>

#include "trevalo/model/TRGeofence.h"
#include "trevalo/model/TRVisit.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/Location.h"
#include "trevalo/utils/TRActivityMode.h"

namespace trevalo {

class Trevalo;

// What the SDK tells the application. Every callback is optional: a delegate overrides those it
// wants, and the facade calls only those, always with itself as the first argument. The facade
// holds its delegate weakly; callbacks meant for a delegate that is gone are dropped.
//
// Callbacks about locations, regions, visits and activity arrive on the platform's run loop
// (the SDK's main thread); keep them short.
class TrevaloDelegate {
 public:
  // One bit per callback, for `implementedCallbacks`.
  enum Callback : std::uint32_t {
    kDidUpdateLocation = 1u << 0,
    kDidStartVisit = 1u << 1,
    kDidEndVisit = 1u << 2,
    kWillChangeActivityMode = 1u << 3,
    kDidEnterRegion = 1u << 4,
    kDidExitRegion = 1u << 5,
    kChangeRegion = 1u << 6,
    kDidFailWithError = 1u << 7,
  };
  static constexpr std::uint32_t kAllCallbacks = (1u << 8) - 1;

  virtual ~TrevaloDelegate() = default;

  // A location the SDK has processed; also each tick of timed updates, with the best location
  // the SDK has.
  virtual void trevaloDidUpdateLocation(Trevalo& trevalo, const Location& location) {
    (void)trevalo, (void)location;
  }
  // A visit began. An early report, as soon as a stop is detected, carries only the place.
  virtual void trevaloDidStartVisit(Trevalo& trevalo, const std::shared_ptr<TRVisit>& visit) {
    (void)trevalo, (void)visit;
  }
  virtual void trevaloDidEndVisit(Trevalo& trevalo, const std::shared_ptr<TRVisit>& visit) {
    (void)trevalo, (void)visit;
  }
  // The user's activity changed (each change reported once).
  virtual void trevaloWillChangeActivityMode(Trevalo& trevalo, TRActivityMode mode) {
    (void)trevalo, (void)mode;
  }
  // The user came within, or left, a server geofence matching the application's filters.
  virtual void trevaloDidEnterRegion(Trevalo& trevalo, const std::shared_ptr<TRGeofence>& region) {
    (void)trevalo, (void)region;
  }
  virtual void trevaloDidExitRegion(Trevalo& trevalo, const std::shared_ptr<TRGeofence>& region) {
    (void)trevalo, (void)region;
  }
  // A monitored region was crossed: "entered region <identifier>" or "exited region
  // <identifier>".
  virtual void trevaloChangeRegion(Trevalo& trevalo, const std::string& text) {
    (void)trevalo, (void)text;
  }
  // The location service failed; the SDK keeps running.
  virtual void trevaloDidFailWithError(Trevalo& trevalo, const Error& error) {
    (void)trevalo, (void)error;
  }

  // The callbacks this delegate implements (Callback bits). A delegate handed to the facade as
  // its own type is looked at for the callbacks its class overrides, and needs nothing here; a
  // delegate handed over as a plain TrevaloDelegate is taken to implement every callback unless
  // it overrides this.
  virtual std::uint32_t implementedCallbacks() const { return kAllCallbacks; }

  // The callbacks class D overrides. A callback D cannot be asked about (an override that is
  // not public) counts as implemented.
  template <std::derived_from<TrevaloDelegate> D>
  static constexpr std::uint32_t callbacksOverriddenBy() {
    std::uint32_t callbacks = 0;
#define TREVALO_OVERRIDDEN(callback, bit)                                                      \
  if constexpr (requires { &D::callback; }) {                                                  \
    if (!std::same_as<MemberOwner<decltype(&D::callback)>, TrevaloDelegate>) callbacks |= bit; \
  } else {                                                                                     \
    callbacks |= bit;                                                                          \
  }
    TREVALO_OVERRIDDEN(trevaloDidUpdateLocation, kDidUpdateLocation)
    TREVALO_OVERRIDDEN(trevaloDidStartVisit, kDidStartVisit)
    TREVALO_OVERRIDDEN(trevaloDidEndVisit, kDidEndVisit)
    TREVALO_OVERRIDDEN(trevaloWillChangeActivityMode, kWillChangeActivityMode)
    TREVALO_OVERRIDDEN(trevaloDidEnterRegion, kDidEnterRegion)
    TREVALO_OVERRIDDEN(trevaloDidExitRegion, kDidExitRegion)
    TREVALO_OVERRIDDEN(trevaloChangeRegion, kChangeRegion)
    TREVALO_OVERRIDDEN(trevaloDidFailWithError, kDidFailWithError)
#undef TREVALO_OVERRIDDEN
    return callbacks;
  }

  // What the facade goes by for `delegate`, seen as a D: the delegate's own answer when D is
  // TrevaloDelegate itself or declares `implementedCallbacks`, otherwise what D overrides.
  template <std::derived_from<TrevaloDelegate> D>
  static std::uint32_t implementedBy(const D& delegate) {
    if constexpr (declaresImplementedCallbacks<D>()) {
      return delegate.implementedCallbacks() & kAllCallbacks;
    } else {
      return callbacksOverriddenBy<D>();
    }
  }

 private:
  // The class that declares a member: a member pointer names it, so `&D::callback` names
  // TrevaloDelegate when D leaves the callback alone.
  template <class Pointer>
  struct MemberOwnerOf;
  template <class Class, class Type>
  struct MemberOwnerOf<Type Class::*> {
    using type = Class;
  };
  template <class Pointer>
  using MemberOwner = typename MemberOwnerOf<Pointer>::type;

  template <class D>
  static constexpr bool declaresImplementedCallbacks() {
    if constexpr (std::same_as<D, TrevaloDelegate>) {
      return true;
    } else if constexpr (requires { &D::implementedCallbacks; }) {
      return !std::same_as<MemberOwner<decltype(&D::implementedCallbacks)>, TrevaloDelegate>;
    } else {
      return true;  // declared, but not publicly: ask the delegate
    }
  }
};

}  // namespace trevalo
