#pragma once

namespace trevalo::platform {

// One verdict of the platform's activity classifier. Several flags may be set at once (a car
// waiting at a light is automotive and stationary); none set means nothing was recognised.
struct MotionActivity {
  bool stationary = false;
  bool walking = false;
  bool running = false;
  bool automotive = false;
  bool cycling = false;
  bool unknown = false;
  // Older classifiers know no cycling; there `cycling` carries no meaning and is not read.
  bool offersCycling = true;

  constexpr bool operator==(const MotionActivity&) const noexcept = default;
};

}  // namespace trevalo::platform
