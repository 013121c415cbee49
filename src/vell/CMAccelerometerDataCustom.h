#pragma once

#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/AccelerometerData.h"
#include "trevalo/platform/Archivable.h"
// Complete, so that overload resolution between the JSON and the archive constructors can
// rule the archive reader out.
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

// An accelerometer sample rebuilt from a recording (JSON) or read from a keyed archive. It
// carries the same fields as the platform sample and converts to it: the SDK keeps plain
// `platform::AccelerometerData` values in its lists and uses this record only at those two
// boundaries.
//
// Archive keys: "_trAcceleration.x", "_trAcceleration.y", "_trAcceleration.z" and
// "_trTimeStamp" (seconds since the device started), all doubles.
class CMAccelerometerDataCustom final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "CMAccelerometerDataCustom";

  explicit CMAccelerometerDataCustom(const platform::AccelerometerData& sample) noexcept;
  // Reads "accelerationX", "accelerationY", "accelerationZ" (g) and "timeStamp" (milliseconds
  // since the device started); a missing or non-numeric member reads as 0.
  explicit CMAccelerometerDataCustom(const Json& json);
  explicit CMAccelerometerDataCustom(platform::KeyedUnarchiver& coder);

  platform::Acceleration acceleration() const noexcept { return trAcceleration_; }
  // Seconds since the device started.
  double timestamp() const noexcept { return trTimeStamp_; }
  platform::AccelerometerData sample() const noexcept { return {trAcceleration_, trTimeStamp_}; }

  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  platform::Acceleration trAcceleration_;
  double trTimeStamp_ = 0.0;
};

}  // namespace trevalo
